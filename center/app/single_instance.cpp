#include "center/app/single_instance.h"

namespace Quorvane::Center {

std::optional<Platform::LockFile> AcquireSingleInstance(const Platform::EnvironmentLookup& environment) {
  const auto folder = Platform::RuntimeFolder(environment);
  if (!folder) {
    return std::nullopt;
  }
  std::error_code error;
  return Platform::LockFile::TryAcquire(Platform::LockFilePath(*folder, "Kestrane"), error);
}

}  // namespace Quorvane::Center
