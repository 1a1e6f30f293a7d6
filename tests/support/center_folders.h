// The center's folders inside a test's temporary folder, with the program's settings file that
// asks for no service, no beta software, no top-most window and plain crash recovery.
#pragma once

#include <filesystem>
#include <string>

#include "common/platform/known_folders.h"
#include "tests/support/temp_folder.h"

namespace Quorvane::Testing {

inline const std::string kQuietCenterSettings =
    "<settings><WebServicesUrl/><EnableBetaSoftware>false</EnableBetaSoftware>"
    "<TopMostWindow>false</TopMostWindow><SecureCrashRecovery>false</SecureCrashRecovery></"
    "settings>";

inline Platform::KnownFolders CenterFolders(const TempFolder& root) {
  Platform::KnownFolders folders;
  folders.localAppData = root.File("data");
  folders.programFolder = root.File("program/");
  folders.installRoot = root.Path();
  std::filesystem::create_directories(folders.programFolder);
  WriteTextFile(folders.programFolder + "Kestrane.xml", kQuietCenterSettings);
  return folders;
}

}  // namespace Quorvane::Testing
