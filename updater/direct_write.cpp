#include "updater/direct_write.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace Quorvane::Updater {
namespace {

// Writes bytes at `offset` whole, through short writes and interruptions; how many were written
// before an error, which is left in errno.
std::size_t WriteAt(int fd, const std::uint8_t* bytes, std::size_t size, off_t offset) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t written =
        pwrite(fd, bytes + done, size - done, offset + static_cast<off_t>(done));
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      if (written == 0) errno = EIO;
      break;
    }
    done += static_cast<std::size_t>(written);
  }
  return done;
}

}  // namespace

void WriteDirectly(int fd) {
  if (const int flags = fcntl(fd, F_GETFL); flags >= 0) {
    fcntl(fd, F_SETFL, flags | O_DIRECT);
  }
}

int WritePiece(int fd, const FilePiece& piece, off_t offset) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags < 0) {
    return errno;
  }
  std::size_t done = 0;
  if ((flags & O_DIRECT) != 0) {
    if (offset % static_cast<off_t>(FilePiece::kAlignment) == 0) {
      const std::size_t whole = piece.Size() / FilePiece::kAlignment * FilePiece::kAlignment;
      done = WriteAt(fd, piece.Data(), whole, offset);
      // A file system may refuse a direct write it accepted to open (EINVAL): the rest goes
      // through the page cache. Any other error is the write's own.
      if (done < whole && errno != EINVAL) {
        return errno;
      }
    }
    if (done < piece.Size() && fcntl(fd, F_SETFL, flags & ~O_DIRECT) != 0) {
      return errno;
    }
  }
  const off_t rest = offset + static_cast<off_t>(done);
  if (WriteAt(fd, piece.Data() + done, piece.Size() - done, rest) < piece.Size() - done) {
    return errno;
  }
  if (done < piece.Size()) {  // written through the page cache
    sync_file_range(fd, rest, static_cast<off_t>(piece.Size() - done), SYNC_FILE_RANGE_WRITE);
  }
  return 0;
}

}  // namespace Quorvane::Updater
