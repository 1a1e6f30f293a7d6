#include "updater/update_check.h"

#include <fcntl.h>
#include <pugixml.hpp>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "common/diagnostics/hvx_exception.h"
#include "common/platform/atomic_file.h"
#include "common/platform/path_text.h"
#include "common/platform/unique_fd.h"
#include "common/service/base64.h"
#include "common/service/service_call.h"
#include "common/service/xml_document.h"
#include "common/signing/update_signature.h"
#include "common/update/update_installation.h"
#include "common/update/updates_ready_file.h"

namespace Quorvane::Updater {
namespace {

using Halvex::Exceptions::HvxArgumentException;
using Halvex::Exceptions::HvxException;

constexpr int kMaxFolderLevels = 255;
constexpr const char* kLoadFailure = "Error loading xml configuration file from param";

std::uint16_t Part(const pugi::xml_node& node, const char* name) {
  return static_cast<std::uint16_t>(std::atoi(node.attribute(name).value()));
}

bool InCheckScope(const std::string& softwareId, std::uint32_t scope) {
  if (softwareId == "Tollwick") return true;
  if (softwareId == "Orlimar") return scope == 1 || scope == 4;
  if (softwareId == "Kestrane") return scope == 2 || scope == 4;
  return true;
}

// Asks each configured server in turn; the first that answers decides. A server whose
// certificate fails verification counts as not answering, but says why in the event log: else
// an administrator could never learn why no update arrives.
std::optional<UpdateResponse> CallService(const UpdaterContext& context, const UpdaterConfiguration& configuration,
                                          const std::string& request, bool beta) {
  const Service::CallSettings settings{
      static_cast<std::size_t>(std::max(0, configuration.HeapSizeMb())) * 1048576u,
      std::chrono::milliseconds(std::max(0, configuration.TimeoutMs()))};
  const std::vector<Service::ServiceValue> inputs{request, beta};
  for (const auto& server : configuration.Servers()) {
    Service::ServiceResult result;
    Service::CallFailure failure;
    if (Service::ServiceCall(server.url, settings, Service::Operation::CheckForUpdateEx, inputs, result, &failure)) {
      return ParseUpdateResponse(result.strings);
    }
    if (failure.certificate) {
      Diagnostics::WriteUpdaterEventLogEntry(context.eventLog, Diagnostics::kEventWarning,
                                             "The update service at '" + server.url +
                                                 "' was not used: its certificate failed verification (" +
                                                 failure.reason + ")");
    }
  }
  return std::nullopt;
}

// The error of the system call that just failed, taken before anything else can change it.
std::uint32_t SystemError() { return static_cast<std::uint32_t>(errno); }

// Deletes an earlier download of the package and makes its folder anew.
void ReplaceFolder(const std::string& folder) {
  std::error_code error;
  const std::string withoutSeparator = folder.substr(0, folder.size() - 1);
  if (std::filesystem::symlink_status(withoutSeparator, error).type() != std::filesystem::file_type::not_found) {
    std::filesystem::remove_all(withoutSeparator, error);
    if (error) {
      throw HvxException(static_cast<std::uint32_t>(error.value()), "Could not delete directory for update file");
    }
  }
  struct stat status {};
  if (!Platform::CreateFolderChain(withoutSeparator, kMaxFolderLevels) ||
      lstat(withoutSeparator.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
    throw HvxException(SystemError(), "Could not create directory for update file");
  }
}

void WriteDownloadedFile(const std::string& path, DownloadedFile& file) {
  // The folder was made just now: the file must be new, and never a link planted there.
  Platform::UniqueFd fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755));
  if (!fd.Valid()) {
    throw HvxException(SystemError(), "Could not create file for update file");
  }
  // A descriptor that claims more bytes than the content holds is a failed write.
  if (file.size > file.content.size()) {
    throw HvxException("Could not write file for update file");
  }
  if (const auto error = Platform::WriteAll(fd.Get(), std::string_view(file.content).substr(0, file.size))) {
    throw HvxException(static_cast<std::uint32_t>(error.value()), "Could not write file for update file");
  }
  if (fsync(fd.Get()) != 0) {
    throw HvxException(SystemError(), "Could not write file for update file");
  }
  std::string().swap(file.content);  // the next file may be as large
}

// Every downloaded file must verify against its signature and the updater's key; a download with
// one that does not is refused whole, with the file and the reason in the event log.
bool AllSigned(const UpdaterContext& context, const Update::UpdateReadyRecord& record, const std::string& folder) {
  const std::string key = Update::UpdateKeyPath(context.folders.installRoot);
  for (const auto& entry : record.files) {
    if (auto failure = Signing::VerifyFileSignature(folder + entry.fileName, key)) {
      Diagnostics::WriteUpdaterEventLogEntry(context.eventLog, Diagnostics::kEventError,
                                             "The update of " + record.softwareId + " was not downloaded: the file '" +
                                                 entry.fileName + "' is refused because " + *failure + ".");
      return false;
    }
  }
  return true;
}

void RemoveFolder(const std::string& folder) {
  std::error_code error;
  std::filesystem::remove_all(folder.substr(0, folder.size() - 1), error);
}

// The verified download takes the place of the earlier one.
void MoveInPlace(const std::string& incoming, const std::string& folder) {
  const std::string target = folder.substr(0, folder.size() - 1);
  std::error_code error;
  std::filesystem::remove_all(target, error);
  if (error) {
    throw HvxException(static_cast<std::uint32_t>(error.value()), "Could not delete directory for update file");
  }
  if (rename(incoming.substr(0, incoming.size() - 1).c_str(), target.c_str()) != 0) {
    throw HvxException(SystemError(), "Could not create directory for update file");
  }
}

}  // namespace

std::string BuildCheckForUpdateRequest(const PackageEntry& package, const Platform::FileVersion& installed) {
  pugi::xml_document document;
  auto root = document.append_child("checkForUpdateRequest");
  root.append_attribute("softwareUpdateType").set_value(package.softwareUpdateType);
  root.append_attribute("requestType").set_value(1);
  root.append_attribute("softwareID").set_value(package.softwareId.c_str());
  auto version = root.append_child("version");
  version.append_attribute("major").set_value(installed.major);
  version.append_attribute("minor").set_value(installed.minor);
  version.append_attribute("build").set_value(installed.build);
  version.append_attribute("revision").set_value(installed.revision);
  return Service::SerializeXml(document);
}

UpdateResponse ParseUpdateResponse(std::vector<std::string>& strings) {
  pugi::xml_document response;
  if (strings.empty() || !Service::LoadXmlText(response, strings[0]) || !response.document_element()) {
    throw HvxArgumentException(kLoadFailure, "ppResponse[0]");
  }
  const auto root = response.document_element();
  UpdateResponse parsed;
  parsed.softwareUpdateType = static_cast<std::uint32_t>(std::atol(root.attribute("softwareUpdateType").value()));
  parsed.responseType = static_cast<std::uint32_t>(std::atol(root.attribute("responseType").value()));
  parsed.softwareId = root.attribute("softwareID").value();
  const auto version = root.child("version");
  parsed.version = {Part(version, "major"), Part(version, "minor"), Part(version, "build"), Part(version, "revision")};

  for (std::size_t at = 1; at < strings.size(); at += 2) {
    // A descriptor must be followed by its content.
    if (at + 1 >= strings.size()) {
      throw HvxArgumentException(kLoadFailure, "files[0]");
    }
    pugi::xml_document descriptor;
    if (!Service::LoadXmlText(descriptor, strings[at])) {
      throw HvxArgumentException(kLoadFailure, "files[0]");
    }
    const auto element = descriptor.document_element();
    if (!element) {
      throw HvxException("DocumentElement missing");
    }
    DownloadedFile file;
    file.fileName = element.attribute("fileName").value();
    file.size = static_cast<std::uint32_t>(std::strtoul(element.attribute("size").value(), nullptr, 10));
    file.mimeType = element.attribute("mimeType").value();
    file.installCommand = element.attribute("installCommand").value();
    auto content = Service::Base64Decode(strings[at + 1]);
    if (!content) {
      throw HvxException("CryptStringToBinary failed");
    }
    std::string().swap(strings[at + 1]);  // the Base64 text is no longer needed
    file.content = std::move(*content);
    parsed.files.push_back(std::move(file));
  }
  return parsed;
}

bool IsSafeDownloadName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos && name.find("..") == std::string::npos &&
         name.find('\0') == std::string::npos;
}

void CheckAndDownload(const UpdaterContext& context, const UpdaterConfiguration& configuration,
                      const UpdateScopes& scopes) {
  for (const auto& package : configuration.Packages()) {
    if (!InCheckScope(package.softwareId, scopes.check)) {
      continue;
    }
    const auto installFolder = context.InstallFolder(package.softwareId);
    if (!installFolder) {
      continue;
    }
    // A package whose install folder holds a ready file is passed over, as the updater always did.
    if (access((*installFolder + Update::kUpdatesReadyFileName).c_str(), F_OK) == 0) {
      continue;
    }
    const Platform::FileVersion installed = Platform::ReadFileVersion(*installFolder + package.processName);
    auto response = CallService(context, configuration, BuildCheckForUpdateRequest(package, installed), scopes.beta);
    if (!response || response->files.empty()) {
      continue;
    }
    // A name that would leave the download folder is refused before anything is touched.
    for (const auto& file : response->files) {
      if (!IsSafeDownloadName(file.fileName)) {
        throw HvxArgumentException("The update service gave an unsafe file name: '" + file.fileName + "'",
                                   "fileName");
      }
    }
    // The files arrive in a folder of their own and replace an earlier download only once they
    // all verified: a bad answer never costs the user a good download that waits to install.
    const std::string folder = context.DownloadFolder(package.softwareId);
    const std::string incoming = context.DownloadRoot() + "." + package.softwareId + ".incoming/";
    ReplaceFolder(incoming);

    Update::UpdateReadyRecord record;
    record.softwareId = package.softwareId;
    record.version = response->version;
    for (auto& file : response->files) {
      WriteDownloadedFile(incoming + file.fileName, file);
      // Signatures lie beside the files they sign; only the files are installed.
      if (!Signing::IsSignatureName(file.fileName)) {
        record.files.push_back({file.installCommand, file.fileName, folder});
      }
    }
    if (!AllSigned(context, record, incoming) || record.files.empty()) {
      RemoveFolder(incoming);
      continue;
    }
    MoveInPlace(incoming, folder);
    Update::WriteUpdatesReadyFile(record, folder + Update::kUpdatesReadyFileName, context.eventLog);
  }
}

}  // namespace Quorvane::Updater
