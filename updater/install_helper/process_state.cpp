#include "updater/install_helper/process_state.h"

#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace Quorvane::InstallHelper {
namespace {

// Used where the first process's limits cannot be read: the kernel's own defaults for a root
// process (a core file size of 0 keeps root's memory out of core files).
rlimit FallbackLimit(int resource) {
  switch (resource) {
    case RLIMIT_CORE:
      return {0, RLIM_INFINITY};
    case RLIMIT_NOFILE:
      return {1024, 524288};
    case RLIMIT_STACK:
      return {8u << 20, RLIM_INFINITY};
    case RLIMIT_MEMLOCK:
      return {8u << 20, 8u << 20};
    default:
      return {RLIM_INFINITY, RLIM_INFINITY};
  }
}

const char* LimitName(int resource) {
  switch (resource) {
    case RLIMIT_CPU:
      return "CPU time";
    case RLIMIT_FSIZE:
      return "file size";
    case RLIMIT_DATA:
      return "data size";
    case RLIMIT_STACK:
      return "stack size";
    case RLIMIT_CORE:
      return "core file size";
    case RLIMIT_RSS:
      return "resident set";
    case RLIMIT_NPROC:
      return "processes";
    case RLIMIT_NOFILE:
      return "open files";
    case RLIMIT_MEMLOCK:
      return "locked memory";
    case RLIMIT_AS:
      return "address space";
    case RLIMIT_LOCKS:
      return "file locks";
    case RLIMIT_SIGPENDING:
      return "pending signals";
    case RLIMIT_MSGQUEUE:
      return "message queues";
    case RLIMIT_NICE:
      return "nice priority";
    case RLIMIT_RTPRIO:
      return "real-time priority";
    case RLIMIT_RTTIME:
      return "real-time timeout";
    default:
      return "resource";
  }
}

// What an install needs of a limit the system would not let be raised: time, file and memory
// limits as the system sets them, a thousand open files and processes; the rest does not stop it.
rlim_t NeededForAnInstall(int resource, rlim_t systems) {
  switch (resource) {
    case RLIMIT_CPU:
    case RLIMIT_FSIZE:
    case RLIMIT_DATA:
    case RLIMIT_AS:
      return systems;
    case RLIMIT_NOFILE:
    case RLIMIT_NPROC:
      return std::min<rlim_t>(systems, 1024);
    default:
      return 0;
  }
}

std::string LimitText(rlim_t value) {
  return value == RLIM_INFINITY ? "unlimited" : std::to_string(value);
}

std::optional<std::string> ResetLimits() {
  std::string lower;
  for (int resource = 0; resource < static_cast<int>(RLIM_NLIMITS); ++resource) {
    const auto which = static_cast<__rlimit_resource>(resource);
    rlimit wanted{};
    if (prlimit(1, which, nullptr, &wanted) != 0) {
      wanted = FallbackLimit(resource);
    }
    if (resource == RLIMIT_NOFILE) {
      // An init raises its own to the kernel's maximum; the tools want the usual 1024 (a larger
      // one makes some close every possible descriptor, one at a time).
      wanted.rlim_cur = std::min<rlim_t>(wanted.rlim_cur, 1024);
    }
    if (setrlimit(which, &wanted) == 0) {
      continue;
    }
    // The hard limit cannot be raised: the soft one as far as it goes.
    rlimit present{};
    getrlimit(which, &present);
    present.rlim_cur = std::min(wanted.rlim_cur, present.rlim_max);
    setrlimit(which, &present);
    if (present.rlim_cur < NeededForAnInstall(resource, wanted.rlim_cur)) {
      lower += std::string(lower.empty() ? "" : ", ") + LimitName(resource) + " " +
               LimitText(present.rlim_cur) + " (the system's: " + LimitText(wanted.rlim_cur) + ")";
    }
  }
  if (lower.empty()) return std::nullopt;
  return lower;
}

void ResetScheduling() {
  const sched_param normal{};
  sched_setscheduler(0, SCHED_OTHER, &normal);
  setpriority(PRIO_PROCESS, 0, 0);
  // I/O priority back to the default class (ioprio_set has no libc wrapper).
  syscall(SYS_ioprio_set, 1 /* IOPRIO_WHO_PROCESS */, 0, 0);
  cpu_set_t every;
  CPU_ZERO(&every);
  for (std::size_t cpu = 0; cpu < CPU_SETSIZE; ++cpu) CPU_SET(cpu, &every);
  sched_setaffinity(0, sizeof every, &every);
  if (FILE* oom = std::fopen("/proc/self/oom_score_adj", "we")) {
    std::fputs("0", oom);
    std::fclose(oom);
  }
}

}  // namespace

std::optional<std::string> ResetProcessState() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (const int signalNumber :
       {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU}) {
    signal(signalNumber, SIG_IGN);
  }
  signal(SIGCHLD, SIG_DFL);
  ResetScheduling();
  return ResetLimits();
}

void LeaveCallerSession() {
  if (setsid() >= 0) {
    return;
  }
  const pid_t child = fork();
  if (child < 0) {
    return;  // the terminal's signals are ignored all the same
  }
  if (child == 0) {
    setsid();
    return;
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  std::_Exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

}  // namespace Quorvane::InstallHelper
