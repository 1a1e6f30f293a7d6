// A library loaded before libc (LD_PRELOAD) that stands for a file system without direct I/O, the
// way QUORVANE_REFUSE_DIRECT says:
//   open    asking for O_DIRECT on an open file fails with EINVAL (fcntl)
//   write   O_DIRECT is taken, but every write through it fails with EINVAL, as some file systems
//           refuse direct writes they accepted to open
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace {

bool Refusing(const char* mode) {
  const char* chosen = std::getenv("QUORVANE_REFUSE_DIRECT");
  return chosen != nullptr && std::strcmp(chosen, mode) == 0;
}

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

int Fcntl(const char* name, int fd, int command, long argument) {
  static const auto real = Real<int (*)(int, int, ...)>(name);
  if (command == F_SETFL && (argument & O_DIRECT) != 0 && Refusing("open")) {
    errno = EINVAL;
    return -1;
  }
  return real(fd, command, argument);
}

bool DirectWriteRefused(int fd) {
  static const auto real = Real<int (*)(int, int, ...)>("fcntl");
  return Refusing("write") && (real(fd, F_GETFL) & O_DIRECT) != 0;
}

// Both names of each call: the C library exports the 64-bit forms under a name of their own.
ssize_t Pwrite(const char* name, int fd, const void* buffer, size_t count, off_t offset) {
  if (DirectWriteRefused(fd)) {
    errno = EINVAL;
    return -1;
  }
  return Real<ssize_t (*)(int, const void*, size_t, off_t)>(name)(fd, buffer, count, offset);
}

long ArgumentOf(va_list arguments) { return va_arg(arguments, long); }

}  // namespace

extern "C" {

int fcntl(int fd, int command, ...) {
  va_list arguments;
  va_start(arguments, command);
  const long argument = ArgumentOf(arguments);
  va_end(arguments);
  return Fcntl("fcntl", fd, command, argument);
}

int fcntl64(int fd, int command, ...) {
  va_list arguments;
  va_start(arguments, command);
  const long argument = ArgumentOf(arguments);
  va_end(arguments);
  return Fcntl("fcntl64", fd, command, argument);
}

ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset) {
  return Pwrite("pwrite", fd, buffer, count, offset);
}

ssize_t pwrite64(int fd, const void* buffer, size_t count, off_t offset) {
  return Pwrite("pwrite64", fd, buffer, count, offset);
}

}  // extern "C"
