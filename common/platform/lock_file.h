// Locks between processes, kept as lock files in the runtime folder. The kernel releases a
// lock when its holder ends, even by a crash, so a dead holder never blocks later ones.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "common/platform/unique_fd.h"

namespace Quorvane::Platform {

class LockFile {
 public:
  // Takes the lock if nobody holds it. When another holder has it the result is empty and the
  // error is std::errc::resource_unavailable_try_again (operation_would_block).
  static std::optional<LockFile> TryAcquire(const std::string& path, std::error_code& error);
  // Waits until the lock is free, then takes it.
  static std::optional<LockFile> Acquire(const std::string& path, std::error_code& error);

  LockFile(LockFile&&) noexcept = default;
  LockFile& operator=(LockFile&&) noexcept = default;
  void Release() { fd_.Reset(); }
  // The lock's descriptor: a program started with it kept open holds the lock as long as it runs.
  int Descriptor() const { return fd_.Get(); }

 private:
  explicit LockFile(UniqueFd fd) : fd_(std::move(fd)) {}
  static std::optional<LockFile> Take(const std::string& path, bool wait, std::error_code& error);

  UniqueFd fd_;
};

// The path of the lock named "name" in the runtime folder: <folder>/<name>.lock.
std::string LockFilePath(const std::string& runtimeFolder, std::string_view name);

}  // namespace Quorvane::Platform
