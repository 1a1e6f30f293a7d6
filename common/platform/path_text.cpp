#include "common/platform/path_text.h"

#include <sys/stat.h>

#include <cerrno>
#include <vector>

namespace Quorvane::Platform {
namespace {

constexpr int kMaxFolderLevels = 20;

bool IsFolder(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The path without its last component and the separator before it; empty when nothing is left.
std::string ParentOf(std::string_view path) {
  while (!path.empty() && (path.back() == '/' || path.back() == '\\')) {
    path.remove_suffix(1);
  }
  const auto separator = path.find_last_of("/\\");
  if (separator == std::string_view::npos) {
    return {};
  }
  return std::string(path.substr(0, separator));
}

}  // namespace

std::string DirectoryOfPath(std::string_view path) {
  const auto separator = path.rfind('/');
  if (separator == std::string_view::npos) {
    return {};
  }
  return std::string(path.substr(0, separator + 1));
}

bool EnsureFolderPath(std::string_view filePath) {
  const std::string folder = ParentOf(filePath);
  // A file in the current folder, or directly in the root, needs no folder.
  return folder.empty() || CreateFolderChain(folder, kMaxFolderLevels);
}

bool CreateFolderChain(std::string_view folderPath, int maxLevels) {
  std::string folder(folderPath);
  while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\')) {
    folder.pop_back();
  }
  std::vector<std::string> levels;
  for (std::string current = folder;
       !current.empty() && levels.size() < static_cast<std::size_t>(maxLevels);
       current = ParentOf(current)) {
    levels.push_back(current);
  }
  for (auto level = levels.rbegin(); level != levels.rend(); ++level) {
    if (!IsFolder(*level) && mkdir(level->c_str(), 0777) != 0 && errno != EEXIST) {
      return false;
    }
  }
  return IsFolder(folder);
}

}  // namespace Quorvane::Platform
