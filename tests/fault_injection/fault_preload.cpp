// A library loaded before libc (LD_PRELOAD) that fails one call of a save on purpose. It counts
// the calls to write, fsync, rename, link and close that a program makes while it is armed (the
// program arms it around the save through quorvane_fault_arm, found with dlsym), and makes the
// call numbered QUORVANE_FAULT_AT fail the way QUORVANE_FAULT_KIND says:
//   enospc, eio   the call fails with that error (a close still closes its descriptor)
//   short         a write writes half of what it was given (only writes are counted)
//   kill          the process is killed with SIGKILL just before the call
// At exit it writes "calls=N fired=0|1 write=W fsync=F rename=R link=L close=C" to the file
// QUORVANE_FAULT_REPORT, so a walker knows how many points a save has, whether the fault was
// reached, and how many calls of each kind the armed save made (counted whatever the kind).
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum class Kind { None, NoSpace, InputOutput, Short, Kill };
enum class Call { Write, Fsync, Rename, Link, Close };

bool armed = false;
long calls = 0;
long made[5] = {};  // armed calls per Call
long faultAt = 0;
bool fired = false;
Kind kind = Kind::None;

Kind KindFromEnvironment() {
  const char* text = std::getenv("QUORVANE_FAULT_KIND");
  if (text == nullptr) return Kind::None;
  if (std::strcmp(text, "enospc") == 0) return Kind::NoSpace;
  if (std::strcmp(text, "eio") == 0) return Kind::InputOutput;
  if (std::strcmp(text, "short") == 0) return Kind::Short;
  if (std::strcmp(text, "kill") == 0) return Kind::Kill;
  return Kind::None;
}

__attribute__((constructor)) void ReadSettings() {
  kind = KindFromEnvironment();
  if (const char* at = std::getenv("QUORVANE_FAULT_AT")) faultAt = std::atol(at);
}

template <typename Function>
Function Real(const char* name) {
  return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

// Whether this call is the one to fail. Counts only armed calls of the kind's reach.
bool Fire(Call call) {
  if (armed) ++made[static_cast<int>(call)];
  if (!armed || kind == Kind::None || (kind == Kind::Short && call != Call::Write)) return false;
  ++calls;
  if (calls != faultAt) return false;
  fired = true;
  if (kind == Kind::Kill) kill(getpid(), SIGKILL);
  return true;
}

int Fail() {
  errno = kind == Kind::NoSpace ? ENOSPC : EIO;
  return -1;
}

__attribute__((destructor)) void WriteReport() {
  armed = false;
  const char* path = std::getenv("QUORVANE_FAULT_REPORT");
  if (path == nullptr) return;
  if (FILE* report = std::fopen(path, "w")) {
    std::fprintf(report, "calls=%ld fired=%d write=%ld fsync=%ld rename=%ld link=%ld close=%ld\n",
                 calls, fired ? 1 : 0, made[0], made[1], made[2], made[3], made[4]);
    std::fclose(report);
  }
}

}  // namespace

extern "C" {

void quorvane_fault_arm(int on) { armed = on != 0; }

ssize_t write(int fd, const void* buffer, size_t count) {
  static const auto real = Real<ssize_t (*)(int, const void*, size_t)>("write");
  if (Fire(Call::Write)) {
    if (kind == Kind::Short) return real(fd, buffer, count > 1 ? count / 2 : count);
    return Fail();
  }
  return real(fd, buffer, count);
}

int fsync(int fd) {
  static const auto real = Real<int (*)(int)>("fsync");
  return Fire(Call::Fsync) ? Fail() : real(fd);
}

int rename(const char* from, const char* to) {
  static const auto real = Real<int (*)(const char*, const char*)>("rename");
  return Fire(Call::Rename) ? Fail() : real(from, to);
}

int link(const char* from, const char* to) {
  static const auto real = Real<int (*)(const char*, const char*)>("link");
  return Fire(Call::Link) ? Fail() : real(from, to);
}

int close(int fd) {
  static const auto real = Real<int (*)(int)>("close");
  if (Fire(Call::Close)) {
    real(fd);  // a failed close still releases the descriptor
    return Fail();
  }
  return real(fd);
}

}  // extern "C"
