#include "common/platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "common/platform/unique_fd.h"

extern char** environ;

namespace Quorvane::Platform {
namespace {

std::error_code Error(int code) { return {code, std::generic_category()}; }

// posix_spawn's C structures, released on every path.
class SpawnSettings {
 public:
  explicit SpawnSettings(bool newSession) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawnattr_init(&attributes_);
    // The child starts with no blocked signals and default handlers, whatever this process set.
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    const short sessionFlag = newSession ? POSIX_SPAWN_SETSID : 0;
    posix_spawnattr_setflags(&attributes_, static_cast<short>(POSIX_SPAWN_SETSIGMASK |
                                                              POSIX_SPAWN_SETSIGDEF | sessionFlag));
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;
  ~SpawnSettings() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  posix_spawn_file_actions_t* Actions() { return &actions_; }
  const posix_spawnattr_t* Attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_{};
  posix_spawnattr_t attributes_{};
};

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status);
  }
  if (WIFSIGNALED(status)) {
    return 128 + WTERMSIG(status);
  }
  return -1;
}

// This process's environment with the given variables set or replaced.
std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::string> variables;
  for (char** variable = environ; *variable != nullptr; ++variable) {
    const std::string_view entry(*variable);
    const auto name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const auto& change : changes) {
      replaced = replaced || change.first == name;
    }
    if (!replaced) {
      variables.emplace_back(entry);
    }
  }
  for (const auto& [name, value] : changes) {
    variables.push_back(name + "=" + value);
  }
  return variables;
}

}  // namespace

std::optional<Process> Process::Start(const ProcessSpec& spec, std::error_code& error) {
  SpawnSettings settings(spec.newSession);
  int result =
      posix_spawn_file_actions_addopen(settings.Actions(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  UniqueFd output;
  if (!spec.outputFile.empty()) {
    // Opened here, close-on-exec, so only this child gets it (as its stdout and stderr).
    output.Reset(
        open(spec.outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644));
    if (!output.Valid()) {
      error = Error(errno);
      return std::nullopt;
    }
    result =
        result ? result
               : posix_spawn_file_actions_adddup2(settings.Actions(), output.Get(), STDOUT_FILENO);
    result =
        result ? result
               : posix_spawn_file_actions_adddup2(settings.Actions(), output.Get(), STDERR_FILENO);
  } else if (spec.outputDescriptor >= 0) {
    result = result ? result
                    : posix_spawn_file_actions_adddup2(settings.Actions(), spec.outputDescriptor,
                                                       STDOUT_FILENO);
    result = result ? result
                    : posix_spawn_file_actions_adddup2(settings.Actions(), spec.outputDescriptor,
                                                       STDERR_FILENO);
  }
  // Duplicated onto themselves: the close-on-exec flag goes, for this child only.
  for (const int kept : spec.keptDescriptors) {
    result = result ? result : posix_spawn_file_actions_adddup2(settings.Actions(), kept, kept);
  }
  if (!spec.workingDirectory.empty() && result == 0) {
    result =
        posix_spawn_file_actions_addchdir_np(settings.Actions(), spec.workingDirectory.c_str());
  }
  if (result != 0) {
    error = Error(result);
    return std::nullopt;
  }

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(spec.program.c_str()));
  for (const auto& argument : spec.arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);

  std::vector<std::string> variables;
  std::vector<char*> envp;
  if (!spec.environment.empty()) {
    variables = EnvironmentWith(spec.environment);
    for (auto& variable : variables) {
      envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
  }

  pid_t pid = -1;
  result = posix_spawnp(&pid, spec.program.c_str(), settings.Actions(), settings.Attributes(),
                        argv.data(), envp.empty() ? environ : envp.data());
  if (result != 0) {
    error = Error(result);
    return std::nullopt;
  }
  error.clear();
  return Process(pid);
}

Process::Process(Process&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)), exitCode_(other.exitCode_) {}

Process& Process::operator=(Process&& other) noexcept {
  if (this != &other) {
    ReapInBackground();
    pid_ = std::exchange(other.pid_, -1);
    exitCode_ = other.exitCode_;
  }
  return *this;
}

Process::~Process() { ReapInBackground(); }

void Process::ReapInBackground() {
  if (pid_ > 0 && !exitCode_) {
    std::thread([pid = pid_] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  }
  pid_ = -1;
}

std::optional<int> Process::Reap(bool block) {
  if (exitCode_ || pid_ <= 0) {
    return exitCode_;
  }
  int status = 0;
  pid_t result;
  do {
    result = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result == pid_) {
    exitCode_ = ExitCodeOf(status);
  } else if (result < 0) {
    exitCode_ = -1;  // not our child any more: nothing left to wait for
  }
  return exitCode_;
}

int Process::Wait() { return *Reap(true); }

std::optional<int> Process::WaitFor(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (auto code = Reap(false)) {
      return code;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return std::nullopt;
    }
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(10));
  }
}

void Process::Signal(int signalNumber) const {
  if (pid_ > 0 && !exitCode_) {
    kill(pid_, signalNumber);
  }
}

void Process::SignalGroup(int signalNumber) const {
  if (pid_ > 0 && !exitCode_) {
    kill(-pid_, signalNumber);
  }
}

}  // namespace Quorvane::Platform
