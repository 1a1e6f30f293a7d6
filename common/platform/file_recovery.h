// Keeping files that could not be read, and clearing what killed saves left behind.
#pragma once

#include <chrono>
#include <string>
#include <system_error>
#include <vector>

namespace Quorvane::Platform {

// Renames a file that could not be read to "NAME.damaged-<YYYYMMDD-HHMMSS>" beside it (a
// "-2", "-3"… suffix when that name is taken, never replacing a file), so that a fresh file can
// take its place without losing it. Sets `movedTo` to the new path.
std::error_code MoveAsideDamaged(const std::string& path, std::string& movedTo);

// The temporary files our own saves leave when they are killed: ".NAME.XXXXXX" of a whole-file
// write of NAME, and names that are temporary as they stand.
struct TemporaryNames {
  std::vector<std::string> savedFiles;
  std::vector<std::string> exactNames;
};

// Removes from the folder the regular files (links are never followed nor removed) whose names
// are our temporaries and that were last changed before `olderThan`. Returns how many went.
std::size_t RemoveStaleTemporaries(const std::string& folder, const TemporaryNames& names,
                                   std::chrono::system_clock::time_point olderThan);

// When the running process started (to the clock tick, never later than it did); a file
// changed before then belongs to no save of ours still under way.
std::chrono::system_clock::time_point ProcessStartTime();

// The time before which a temporary of ours is stale: the process start less a second, as file
// times lag the clock by a few milliseconds.
std::chrono::system_clock::time_point TemporariesStaleBefore();

}  // namespace Quorvane::Platform
