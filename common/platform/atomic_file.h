// Whole-file writes that never leave a half-written file, and whole-file reads.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace Quorvane::Platform {

// Writes the content to a temporary file in the same folder, flushes and syncs it, renames it
// over the path and syncs the folder. A new file gets the usual mode (0666 less the umask); a
// replaced file keeps its mode. On any failure the old file stays as it was and the temporary
// file is removed. Returns the failure, or an empty error code.
std::error_code WriteFileAtomically(const std::string& path, std::string_view content);

// Writes all of the content to the descriptor, going on after short writes and interruptions. A
// write that makes no progress without an error is a full disk (ENOSPC).
std::error_code WriteAll(int fd, std::string_view content);

// Syncs the folder that holds the path, so a name just made or changed there survives a power cut.
std::error_code SyncFolderOf(const std::string& path);

// The whole content of a file; empty optional (and the error set) when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path, std::error_code& error);

}  // namespace Quorvane::Platform
