#include "common/platform/lock_file.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace Quorvane::Platform {

std::optional<LockFile> LockFile::Take(const std::string& path, bool wait, std::error_code& error) {
  // Close-on-exec, so programs started by the holder do not keep the lock after it ends.
  UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.Valid()) {
    error = {errno, std::generic_category()};
    return std::nullopt;
  }
  int result;
  do {
    result = flock(fd.Get(), LOCK_EX | (wait ? 0 : LOCK_NB));
  } while (result != 0 && errno == EINTR);
  if (result != 0) {
    error = {errno, std::generic_category()};
    return std::nullopt;
  }
  error.clear();
  return LockFile(std::move(fd));
}

std::optional<LockFile> LockFile::TryAcquire(const std::string& path, std::error_code& error) {
  return Take(path, false, error);
}

std::optional<LockFile> LockFile::Acquire(const std::string& path, std::error_code& error) {
  return Take(path, true, error);
}

std::string LockFilePath(const std::string& runtimeFolder, std::string_view name) {
  return runtimeFolder + "/" + std::string(name) + ".lock";
}

}  // namespace Quorvane::Platform
