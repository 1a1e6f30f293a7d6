#include "common/update_install/updates_ready_file.h"

#include <cerrno>
#include <cstdlib>
#include <pugixml.hpp>

#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/system_error_text.h"
#include "common/platform/atomic_file.h"
#include "common/service_client/xml_document.h"

namespace Quorvane::Update {
namespace {

using Halvex::Exceptions::HvxArgumentException;

void RequirePath(const std::string& path) {
  if (path.empty()) {
    throw HvxArgumentException("Parameter was nullptr", "pwszFileName");
  }
}

// Like the C library's integer reading, kept in 16 bits as the version parts are.
std::uint16_t VersionPart(const pugi::xml_node& node, const char* name) {
  return static_cast<std::uint16_t>(std::atoi(node.attribute(name).value()));
}

}  // namespace

std::string DownloadFolderOf(const std::string& localAppData, const std::string& softwareId) {
  return localAppData + "/Quorvane/Updater/" + softwareId + "/";
}

std::string UpdatesReadyFileOf(const std::string& localAppData, const std::string& softwareId) {
  return DownloadFolderOf(localAppData, softwareId) + kUpdatesReadyFileName;
}

std::string UpdatesReadyText(const UpdateReadyRecord& record) {
  pugi::xml_document document;
  auto root = document.append_child("updateReady");
  root.append_attribute("softwareID").set_value(record.softwareId.c_str());
  root.append_attribute("major").set_value(record.version.major);
  root.append_attribute("minor").set_value(record.version.minor);
  root.append_attribute("build").set_value(record.version.build);
  root.append_attribute("revision").set_value(record.version.revision);
  auto files = root.append_child("files");
  for (const auto& entry : record.files) {
    auto file = files.append_child("file");
    file.append_attribute("fileName").set_value(entry.fileName.c_str());
    file.append_attribute("installCommand").set_value(entry.installCommand.c_str());
    file.append_attribute("directory").set_value(entry.directory.c_str());
  }
  return Service::SerializeXml(document);
}

bool WriteUpdatesReadyFile(const UpdateReadyRecord& record, const std::string& path,
                           Diagnostics::EventLog& eventLog) {
  RequirePath(path);
  if (const auto error = Platform::WriteFileAtomically(path, UpdatesReadyText(record))) {
    Diagnostics::WriteUpdaterEventLogEntry(
        eventLog, Diagnostics::kEventWarning,
        "## Error saving UpdatesReady XML ##\nGetLastError Message: " +
            Halvex::Exceptions::GetWin32ErrorMessage(static_cast<std::uint32_t>(error.value())) +
            "\nCoLastErrorMessage: \n");  // no per-thread error object here: the line stays empty
    return false;
  }
  return true;
}

UpdateReadyRecord ReadUpdatesReadyFile(const std::string& path) {
  RequirePath(path);
  std::error_code error;
  const auto text = Platform::ReadWholeFile(path, error);
  if (!text) {
    throw HvxArgumentException("Error loading xml configuration file from param", "files[0]");
  }
  return ParseUpdatesReadyText(*text);
}

UpdateReadyRecord ParseUpdatesReadyText(std::string_view text) {
  pugi::xml_document document;
  if (!Service::LoadXmlText(document, text) || !document.document_element()) {
    throw HvxArgumentException("Error loading xml configuration file from param", "files[0]");
  }
  const auto root = document.document_element();
  UpdateReadyRecord record;
  record.softwareId = root.attribute("softwareID").value();
  record.version = {VersionPart(root, "major"), VersionPart(root, "minor"),
                    VersionPart(root, "build"), VersionPart(root, "revision")};
  for (const auto& selected : root.select_nodes("files/file")) {
    const auto file = selected.node();
    record.files.push_back({file.attribute("installCommand").value(),
                            file.attribute("fileName").value(),
                            file.attribute("directory").value()});
  }
  return record;
}

}  // namespace Quorvane::Update
