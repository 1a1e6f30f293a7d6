#include "updater/install_helper/process_state.h"

#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

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
    case RLIMIT_CORE: return {0, RLIM_INFINITY};
    case RLIMIT_NOFILE: return {1024, 524288};
    case RLIMIT_STACK: return {8u << 20, RLIM_INFINITY};
    case RLIMIT_MEMLOCK: return {8u << 20, 8u << 20};
    default: return {RLIM_INFINITY, RLIM_INFINITY};
  }
}

void ResetLimits() {
  for (int resource = 0; resource < RLIM_NLIMITS; ++resource) {
    rlimit limit{};
    if (prlimit(1, static_cast<__rlimit_resource>(resource), nullptr, &limit) != 0) {
      limit = FallbackLimit(resource);
    }
    setrlimit(static_cast<__rlimit_resource>(resource), &limit);
  }
}

void ResetScheduling() {
  const sched_param normal{};
  sched_setscheduler(0, SCHED_OTHER, &normal);
  setpriority(PRIO_PROCESS, 0, 0);
  // I/O priority back to the default class (ioprio_set has no libc wrapper).
  syscall(SYS_ioprio_set, 1 /* IOPRIO_WHO_PROCESS */, 0, 0);
  cpu_set_t every;
  CPU_ZERO(&every);
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) CPU_SET(cpu, &every);
  sched_setaffinity(0, sizeof every, &every);
  if (FILE* oom = std::fopen("/proc/self/oom_score_adj", "we")) {
    std::fputs("0", oom);
    std::fclose(oom);
  }
}

}  // namespace

void ResetProcessState() {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (const int signalNumber : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU}) {
    signal(signalNumber, SIG_IGN);
  }
  signal(SIGCHLD, SIG_DFL);
  ResetLimits();
  ResetScheduling();
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
