// The updates-ready file: what the updater downloaded for one package and how to install it.
// The updater writes and deletes it; the center reads it to offer the update.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/diagnostics/event_log.h"
#include "common/platform/file_version.h"

namespace Quorvane::Update {

inline constexpr const char* kUpdatesReadyFileName = "Quorvane.UpdatesReady.xml";

struct ReadyFileEntry {
  std::string installCommand;  // as the service delivered it; may hold "%s" or "%S"
  std::string fileName;
  std::string directory;  // the download folder, with a trailing separator
  bool operator==(const ReadyFileEntry&) const = default;
};

struct UpdateReadyRecord {
  std::string softwareId;
  Platform::FileVersion version;
  std::vector<ReadyFileEntry> files;
  bool operator==(const UpdateReadyRecord&) const = default;
};

// Where the updater keeps a package's downloads: <local data>/Quorvane/Updater/<id>/ (with the
// trailing separator), and the package's updates-ready file in it.
std::string DownloadFolderOf(const std::string& localAppData, const std::string& softwareId);
std::string UpdatesReadyFileOf(const std::string& localAppData, const std::string& softwareId);

// The file's text for a record.
std::string UpdatesReadyText(const UpdateReadyRecord& record);

// Writes the record whole (replacing any file at the path). On failure writes the warning
// "## Error saving UpdatesReady XML ##" with the system's text to the event log and returns
// false. An empty path raises HvxArgumentException "Parameter was nullptr" ("pwszFileName").
bool WriteUpdatesReadyFile(const UpdateReadyRecord& record, const std::string& path,
                           Diagnostics::EventLog& eventLog);

// Reads a record. Raises HvxArgumentException "Error loading xml configuration file from param"
// for a file that does not load, "Parameter was nullptr" for an empty path. Missing numbers read
// 0 and missing texts read empty.
UpdateReadyRecord ReadUpdatesReadyFile(const std::string& path);
// The same for the file's text.
UpdateReadyRecord ParseUpdatesReadyText(std::string_view text);

}  // namespace Quorvane::Update
