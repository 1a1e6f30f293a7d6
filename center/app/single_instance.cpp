#include "center/app/single_instance.h"

#include <cerrno>

namespace Quorvane::Center {

SingleInstance AcquireSingleInstance(const Platform::EnvironmentLookup& environment) {
  SingleInstance result;
  errno = 0;
  const auto folder = Platform::RuntimeFolder(environment);
  if (!folder) {
    result.failedCall = "Could not find or make the runtime folder for the lock \"Kestrane.lock\"";
    result.errorCode = errno;
    return result;
  }
  const std::string path = Platform::LockFilePath(*folder, "Kestrane");
  std::error_code error;
  result.lock = Platform::LockFile::TryAcquire(path, error);
  if (!result.lock) {
    if (error == std::errc::resource_unavailable_try_again) {
      result.anotherInstance = true;
    } else {
      result.failedCall = "Could not take the lock \"" + path + "\"";
      result.errorCode = error.value();
    }
  }
  return result;
}

}  // namespace Quorvane::Center
