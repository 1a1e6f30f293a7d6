// One center per user: the lock "Kestrane.lock" in the runtime folder, held for the process's
// life and released by the kernel when it ends, even by a crash.
#pragma once

#include <optional>
#include <string>

#include "common/platform/known_folders.h"
#include "common/platform/lock_file.h"

namespace Quorvane::Center {

struct SingleInstance {
  std::optional<Platform::LockFile> lock;  // held: this is the only center
  bool anotherInstance = false;            // another center holds it
  std::string failedCall;                  // otherwise: what failed, with errorCode
  int errorCode = 0;
};

// Only a lock that another process holds means another center; a runtime folder that is
// missing or refused, or a lock file that cannot be opened, is a failure of its own.
SingleInstance AcquireSingleInstance(const Platform::EnvironmentLookup& environment);

}  // namespace Quorvane::Center
