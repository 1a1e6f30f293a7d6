// The center's four settings and their file: a copy beside the program holds the defaults, the
// user's own copy is the one that changes. Loading appends missing booleans; saving changes only
// element texts, so everything else in the file stays as it was.
#pragma once

#include <mutex>
#include <string>

namespace Quorvane::Center {

struct SettingsValues {
  std::string webServicesUrl;
  bool enableBetaSoftware = false;
  bool topMostWindow = false;
  bool secureCrashRecovery = false;
};

class CenterSettings {
 public:
  // Reads the file into the settings: a missing or unparsable file changes nothing; a missing
  // boolean element is set false, appended with the text "false" and the document saved to the
  // current settings path.
  void Load(const std::string& path);
  // Writes the settings into the existing file at `path` (element texts only; absent elements
  // are skipped) and saves it whole to the current settings path. A missing file is left alone.
  void Save(const std::string& path);

  // The program-folder file, then the user's file: loaded over it when it exists, else copied
  // from it (creating the folders). Later saves go to the user's file.
  void StartUp(const std::string& programFile, const std::string& userFile);

  // Saves to the current settings path.
  void Save() { Save(CurrentPath()); }

  SettingsValues Values() const;
  void SetEnableBetaSoftware(bool value);
  void SetTopMostWindow(bool value);
  void SetSecureCrashRecovery(bool value);
  std::string CurrentPath() const;

 private:
  mutable std::mutex mutex_;
  SettingsValues values_;
  std::string currentPath_;
};

// Any text but "false" in any letter case reads as true, an empty text included.
bool ReadSettingsBoolean(const std::string& text);

}  // namespace Quorvane::Center
