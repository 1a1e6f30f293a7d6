#include "updater/updater_context.h"

#include <cstdio>
#include <filesystem>

#include "common/platform/file_recovery.h"
#include "common/update_install/updates_ready_file.h"

namespace Quorvane::Updater {

void NoProgressView::Tell(const std::string& text) {
  std::fprintf(stderr, "Tollwick: %s\n", text.c_str());
  std::fflush(stderr);
}

std::string UpdaterContext::ConfigurationPath() const {
  return folders.installRoot + "/Quorvane/Updater/Tollwick.xml";
}

std::string UpdaterContext::DownloadRoot() const {
  return folders.localAppData + "/Quorvane/Updater/";
}

std::string UpdaterContext::DownloadFolder(const std::string& softwareId) const {
  return Update::DownloadFolderOf(folders.localAppData, softwareId);
}

std::optional<std::string> UpdaterContext::InstallFolder(const std::string& softwareId) const {
  const std::string product = folders.installRoot + "/Quorvane/";
  if (softwareId == "Orlimar") return product + "Orlimar/";
  if (softwareId == "Kestrane") return product + "Kestrane/";
  if (softwareId == "Tollwick") return product + "Updater/";
  return std::nullopt;
}

void UpdaterContext::RemoveStaleDownloadTemporaries() const {
  std::error_code error;
  const auto staleBefore = Platform::TemporariesStaleBefore();
  for (const auto& entry : std::filesystem::directory_iterator(DownloadRoot(), error)) {
    // A download in progress lies in ".<id>.incoming"; one that is there now was left by a copy
    // that was killed (only the processing copy downloads), with the space it reserved.
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".") && name.ends_with(".incoming") && !entry.is_symlink(error)) {
      std::filesystem::remove_all(entry.path(), error);
      continue;
    }
    // A link in the download root is never followed: only real folders are cleared.
    if (entry.is_directory(error) && !entry.is_symlink(error)) {
      Platform::RemoveStaleTemporaries(entry.path().string(), {{Update::kUpdatesReadyFileName}, {}},
                                       staleBefore);
    }
  }
}

}  // namespace Quorvane::Updater
