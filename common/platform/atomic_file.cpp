#include "common/platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "common/platform/path_text.h"
#include "common/platform/unique_fd.h"

namespace Quorvane::Platform {
namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

}  // namespace

std::error_code WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return LastError();
    }
    if (written == 0) {
      return std::make_error_code(
          std::errc::no_space_on_device);  // no progress, no error: a full disk
    }
    content.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

namespace {

mode_t ModeForNewFile() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

std::error_code SyncFolderOf(const std::string& path) {
  std::string folder = DirectoryOfPath(path);
  if (folder.empty()) {
    folder = ".";
  }
  UniqueFd descriptor(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (descriptor.Get() < 0 || fsync(descriptor.Get()) != 0) {
    return LastError();
  }
  return {};
}

namespace {

std::error_code WriteTemporary(int fd, const std::string& path, std::string_view content) {
  struct stat existing {};
  const mode_t mode =
      stat(path.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : ModeForNewFile();
  if (fchmod(fd, mode) != 0) {
    return LastError();
  }
  if (auto error = WriteAll(fd, content)) {
    return error;
  }
  if (fsync(fd) != 0) {
    return LastError();
  }
  return {};
}

}  // namespace

std::error_code WriteFileAtomically(const std::string& path, std::string_view content) {
  const std::string folder = DirectoryOfPath(path);
  const std::string name = path.substr(folder.size());
  if (name.empty()) {
    return std::make_error_code(std::errc::is_a_directory);
  }
  // Hidden, and unique to this write, so concurrent writers never share a temporary file.
  std::string temporary = folder + "." + name + ".XXXXXX";
  std::vector<char> pattern(temporary.begin(), temporary.end());
  pattern.push_back('\0');
  UniqueFd descriptor(mkostemp(pattern.data(), O_CLOEXEC));
  if (descriptor.Get() < 0) {
    return LastError();
  }
  temporary.assign(pattern.data());

  std::error_code error = WriteTemporary(descriptor.Get(), path, content);
  if (!error && close(descriptor.Release()) != 0) {
    error = LastError();
  }
  if (!error && rename(temporary.c_str(), path.c_str()) != 0) {
    error = LastError();
  }
  if (error) {
    unlink(temporary.c_str());
    return error;
  }
  return SyncFolderOf(path);
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::error_code& error) {
  UniqueFd descriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (descriptor.Get() < 0) {
    error = LastError();
    return std::nullopt;
  }
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t count = read(descriptor.Get(), buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      error = LastError();
      return std::nullopt;
    }
    if (count == 0) {
      break;
    }
    content.append(buffer, static_cast<std::size_t>(count));
  }
  error.clear();
  return content;
}

}  // namespace Quorvane::Platform
