// The center's four settings and their file: a copy beside the program holds the defaults, the
// user's own copy is the one that changes. Loading appends missing booleans; saving changes only
// element texts, so everything else in the file stays as it was.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "common/diagnostics/event_log.h"

namespace Quorvane::Center {

struct SettingsValues {
  std::string webServicesUrl;
  bool enableBetaSoftware = false;
  bool topMostWindow = false;
  bool secureCrashRecovery = false;
};

class CenterSettings {
 public:
  // The program-folder file, then the user's file: loaded over it when it exists, else copied
  // from it (creating the folders). Later saves go to the user's file. A user's file that cannot
  // be read is kept aside as "NAME.damaged-<time>" and replaced by the program folder's copy;
  // this, and every save that fails, is a warning in the event log (when one is given).
  void StartUp(const std::string& programFile, const std::string& userFile,
               Diagnostics::EventLog* eventLog = nullptr);

  // Reads the file into the settings: a missing or unparsable file changes nothing; a missing
  // boolean element is set false, appended with the text "false" and the document saved to the
  // current settings path.
  void Load(const std::string& path);
  // Writes the settings into the existing file at `path` (element texts only; absent elements
  // are skipped) and saves it whole to the current settings path. A missing file is left alone;
  // a damaged one is kept aside and the program folder's file is the base instead. False when
  // nothing was saved.
  bool Save(const std::string& path);
  // Saves to the current settings path.
  bool Save() { return Save(CurrentPath()); }

  // The same on texts, without files. LoadText sets `completed` to the text with the missing
  // booleans appended, when any were missing; false (and the reason) for text that is no
  // document. SavedText is empty for text that is no document.
  bool LoadText(std::string text, std::optional<std::string>& completed, std::string& reason);
  std::optional<std::string> SavedText(std::string text) const;

  SettingsValues Values() const;
  void SetEnableBetaSoftware(bool value);
  void SetTopMostWindow(bool value);
  void SetSecureCrashRecovery(bool value);
  std::string CurrentPath() const;

 private:
  enum class FileState { Missing, Read, Damaged };
  FileState Load(const std::string& path, std::string& reason);
  // The text of a settings document at the path; empty with an empty reason when there is no
  // file, with the reason when the file cannot be read or is no document.
  static std::optional<std::string> ReadSettingsFile(const std::string& path, std::string& reason);
  bool KeepDamaged(const std::string& path, const std::string& reason);
  bool Write(const std::string& text);
  void Warn(const std::string& text) const;
  std::string ProgramPath() const;

  mutable std::mutex mutex_;
  SettingsValues values_;
  std::string currentPath_;
  std::string programPath_;
  Diagnostics::EventLog* eventLog_ = nullptr;
};

// Any text but "false" in any letter case reads as true, an empty text included.
bool ReadSettingsBoolean(const std::string& text);

}  // namespace Quorvane::Center
