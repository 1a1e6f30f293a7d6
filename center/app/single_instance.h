// One center per user: the lock "Kestrane.lock" in the runtime folder, held for the process's
// life and released by the kernel when it ends, even by a crash.
#pragma once

#include <optional>

#include "common/platform/known_folders.h"
#include "common/platform/lock_file.h"

namespace Quorvane::Center {

// The lock, or nothing when another center holds it (or no runtime folder exists).
std::optional<Platform::LockFile> AcquireSingleInstance(const Platform::EnvironmentLookup& environment);

}  // namespace Quorvane::Center
