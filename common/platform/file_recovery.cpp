#include "common/platform/file_recovery.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "common/platform/atomic_file.h"
#include "common/platform/unique_fd.h"

namespace Quorvane::Platform {
namespace {

std::string LocalTimeStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// ".NAME." followed by the six letters or digits a unique temporary name ends in.
bool IsSavedFileTemporary(const std::string& entry, const std::string& name) {
  const std::string prefix = "." + name + ".";
  if (entry.size() != prefix.size() + 6 || entry.compare(0, prefix.size(), prefix) != 0) {
    return false;
  }
  return std::all_of(entry.begin() + static_cast<std::ptrdiff_t>(prefix.size()), entry.end(),
                     [](unsigned char character) { return std::isalnum(character) != 0; });
}

bool IsOurTemporary(const std::string& entry, const TemporaryNames& names) {
  return std::find(names.exactNames.begin(), names.exactNames.end(), entry) !=
             names.exactNames.end() ||
         std::any_of(names.savedFiles.begin(), names.savedFiles.end(),
                     [&](const std::string& name) { return IsSavedFileTemporary(entry, name); });
}

std::chrono::system_clock::time_point ChangeTime(const struct stat& status) {
  return std::chrono::system_clock::time_point(
      std::chrono::duration_cast<std::chrono::system_clock::duration>(
          std::chrono::seconds(status.st_mtim.tv_sec) +
          std::chrono::nanoseconds(status.st_mtim.tv_nsec)));
}

}  // namespace

std::error_code MoveAsideDamaged(const std::string& path, std::string& movedTo) {
  const std::string base = path + ".damaged-" + LocalTimeStamp();
  for (int attempt = 1; attempt < 100; ++attempt) {
    const std::string candidate = attempt == 1 ? base : base + "-" + std::to_string(attempt);
    if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0) {
      movedTo = candidate;
      SyncFolderOf(path);
      return {};
    }
    if (errno != EEXIST) {
      return {errno, std::generic_category()};
    }
  }
  return std::make_error_code(std::errc::file_exists);
}

std::size_t RemoveStaleTemporaries(const std::string& folder, const TemporaryNames& names,
                                   std::chrono::system_clock::time_point olderThan) {
  UniqueFd folderFd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folderFd.Valid()) {
    return 0;
  }
  // The listing owns a descriptor of its own; it stays ours until fdopendir takes it.
  UniqueFd listingFd(dup(folderFd.Get()));
  DIR* listing = listingFd.Valid() ? fdopendir(listingFd.Get()) : nullptr;
  if (listing == nullptr) {
    return 0;
  }
  listingFd.Release();
  std::vector<std::string> stale;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    struct stat status {};
    if (IsOurTemporary(name, names) &&
        fstatat(folderFd.Get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode) && ChangeTime(status) < olderThan) {
      stale.push_back(name);
    }
  }
  closedir(listing);
  std::size_t removed = 0;
  for (const auto& name : stale) {
    removed += unlinkat(folderFd.Get(), name.c_str(), 0) == 0 ? 1U : 0U;
  }
  return removed;
}

std::chrono::system_clock::time_point ProcessStartTime() {
  // Field 22 of the process's stat line is its start in clock ticks since boot; the command
  // name (field 2) may hold spaces, so fields count from its ')'. Measured against the boot
  // clock now, which gives the start on the wall clock without the boot time's rounding.
  const auto now = std::chrono::system_clock::now();
  std::ifstream statFile("/proc/self/stat");
  std::string line;
  std::getline(statFile, line);
  const auto close = line.rfind(')');
  timespec sinceBoot{};
  const long ticksPerSecond = sysconf(_SC_CLK_TCK);
  if (close == std::string::npos || ticksPerSecond <= 0 ||
      clock_gettime(CLOCK_BOOTTIME, &sinceBoot) != 0) {
    return now;
  }
  std::istringstream fields(line.substr(close + 1));
  std::string field;
  for (int index = 3; index <= 22 && fields >> field; ++index) {
  }
  const auto startTicks = std::strtoull(field.c_str(), nullptr, 10);
  const auto startSinceBoot = std::chrono::milliseconds(
      startTicks * 1000 / static_cast<unsigned long long>(ticksPerSecond));
  const auto nowSinceBoot =
      std::chrono::seconds(sinceBoot.tv_sec) + std::chrono::nanoseconds(sinceBoot.tv_nsec);
  if (field.empty() || startSinceBoot > nowSinceBoot) {
    return now;
  }
  return now - std::chrono::duration_cast<std::chrono::system_clock::duration>(nowSinceBoot -
                                                                               startSinceBoot);
}

std::chrono::system_clock::time_point TemporariesStaleBefore() {
  return ProcessStartTime() - std::chrono::seconds(1);
}

}  // namespace Quorvane::Platform
