#include "common/platform/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Quorvane::Platform {

bool EnsurePrivateFolder(const std::string& path, std::error_code& error) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    error = {errno, std::generic_category()};
    return false;
  }
  struct stat status {};
  if (lstat(path.c_str(), &status) != 0) {
    error = {errno, std::generic_category()};
    return false;
  }
  if (!S_ISDIR(status.st_mode) || status.st_uid != getuid() || (status.st_mode & 077) != 0) {
    error = std::make_error_code(std::errc::operation_not_permitted);
    return false;
  }
  error.clear();
  return true;
}

}  // namespace Quorvane::Platform
