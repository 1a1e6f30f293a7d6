#include "updater/update_check.h"

#include <unistd.h>

#include <algorithm>
#include <pugixml.hpp>
#include <utility>

#include "common/service_client/service_call.h"
#include "common/service_client/xml_document.h"
#include "common/signing/update_signature.h"
#include "common/update_install/update_installation.h"
#include "common/update_install/updates_ready_file.h"
#include "updater/incoming_download.h"
#include "updater/update_answer.h"

namespace Quorvane::Updater {
namespace {

bool InCheckScope(const std::string& softwareId, std::uint32_t scope) {
  if (softwareId == "Tollwick") return true;
  if (softwareId == "Orlimar") return scope == 1 || scope == 4;
  if (softwareId == "Kestrane") return scope == 2 || scope == 4;
  return true;
}

// Asks each configured server in turn; the first that answers decides, and its files are in
// the incoming download. A server whose certificate fails verification counts as not answering,
// but says why in the event log: else an administrator could never learn why no update arrives.
// A server that fails part-way leaves nothing behind for the next. A malformed answer or a file
// that cannot be written ends the check with its exception.
std::optional<UpdateHeader> CallService(const UpdaterContext& context,
                                        const UpdaterConfiguration& configuration,
                                        const std::string& request, bool beta,
                                        IncomingDownload& download, bool& timeOutLogged) {
  const std::size_t documentLimit =
      static_cast<std::size_t>(std::max(0, configuration.HeapSizeMb())) * 1048576u;
  const Service::CallSettings settings{
      documentLimit, std::chrono::milliseconds(std::max(0, configuration.TimeoutMs()))};
  const std::vector<Service::ServiceValue> inputs{request, beta};
  for (const auto& server : configuration.Servers()) {
    UpdateAnswerSink answer(documentLimit, download);
    Service::CallFailure failure;
    const bool answered = Service::StreamingServiceCall(
        server.url, settings, Service::Operation::CheckForUpdateEx, inputs, answer, &failure);
    answer.RethrowFailure();
    if (answered) {
      return answer.Finish();
    }
    download.Discard();
    if (failure.certificate) {
      Diagnostics::WriteUpdaterEventLogEntry(
          context.eventLog, Diagnostics::kEventWarning,
          "The update service at '" + server.url +
              "' was not used: its certificate failed verification (" + failure.reason + ")");
    }
    // An update larger than the time limit lets through would be thrown away at every check
    // without a word: the administrator learns which setting holds it back, once a run.
    if (failure.timedOut && !std::exchange(timeOutLogged, true)) {
      Diagnostics::WriteUpdaterEventLogEntry(
          context.eventLog, Diagnostics::kEventWarning,
          "The answer of the update service at '" + server.url + "' did not arrive whole within " +
              std::to_string(settings.timeout.count()) +
              " ms (the updater's setting TimeoutMS); what came was " +
              "thrown away. A larger TimeoutMS lets a large update arrive.");
    }
  }
  return std::nullopt;
}

// Every downloaded file must verify against its signature and the updater's key, signed as that
// file of the offered version; a download with one that does not is refused whole, with the file
// and the reason in the event log.
bool AllSigned(const UpdaterContext& context, const std::string& softwareId,
               const Platform::FileVersion& offered, const IncomingDownload& download) {
  const auto unverified = download.FirstUnverified(
      Update::UpdateKeyPath(context.folders.installRoot), Update::SignedVersionOf(offered));
  if (unverified) {
    Diagnostics::WriteUpdaterEventLogEntry(
        context.eventLog, Diagnostics::kEventError,
        "The update of " + softwareId + " was not downloaded: the file '" + unverified->first +
            "' is refused because " + unverified->second + ".");
  }
  return !unverified;
}

}  // namespace

std::string BuildCheckForUpdateRequest(const PackageEntry& package,
                                       const Platform::FileVersion& installed) {
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

void CheckAndDownload(const UpdaterContext& context, const UpdaterConfiguration& configuration,
                      const UpdateScopes& scopes) {
  bool timeOutLogged = false;
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
    const Platform::FileVersion installed =
        Platform::ReadFileVersion(*installFolder + package.processName);
    const std::string folder = context.DownloadFolder(package.softwareId);
    IncomingDownload download(
        context.DownloadRoot() + "." + package.softwareId + ".incoming/",
        static_cast<std::uint32_t>(std::max(0, configuration.DownloadLimitMb())));
    const auto header =
        CallService(context, configuration, BuildCheckForUpdateRequest(package, installed),
                    scopes.beta, download, timeOutLogged);
    if (!header || download.Files().empty()) {
      continue;
    }
    // A service may offer only what is newer: an older or the same version is a replay.
    if (!(header->version > installed)) {
      Diagnostics::WriteUpdaterEventLogEntry(
          context.eventLog, Diagnostics::kEventError,
          "The update of " + package.softwareId + " was not downloaded: its version " +
              header->version.ToString() + " is not above the installed " + installed.ToString() +
              ".");
      continue;
    }
    if (!AllSigned(context, package.softwareId, header->version, download)) {
      continue;
    }
    Update::UpdateReadyRecord record;
    record.softwareId = package.softwareId;
    record.version = header->version;
    for (const auto& file : download.Files()) {
      // Signatures lie beside the files they sign; only the files are installed.
      if (!Signing::IsSignatureName(file.descriptor.fileName)) {
        record.files.push_back({file.descriptor.installCommand, file.descriptor.fileName, folder});
      }
    }
    if (record.files.empty()) {
      continue;
    }
    download.MoveInPlace(folder);
    Update::WriteUpdatesReadyFile(record, folder + Update::kUpdatesReadyFileName, context.eventLog);
  }
}

}  // namespace Quorvane::Updater
