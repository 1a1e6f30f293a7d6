// Starting other programs: always with an argument vector, never through a shell command
// text, so blanks, quotes and other characters in the data arrive unchanged.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace Quorvane::Platform {

struct ProcessSpec {
  std::string program;                 // a path, or a name looked up in PATH
  std::vector<std::string> arguments;  // after the program name
  std::string workingDirectory;        // empty: the caller's
  std::string outputFile;              // empty: inherit; else stdout and stderr both go there
  // Variables set (or replaced) for the program; the rest of this process's environment stays.
  std::vector<std::pair<std::string, std::string>> environment;
  // Descriptors of this process the program keeps open (every other one is closed for it).
  std::vector<int> keptDescriptors;
};

class Process {
 public:
  // Starts the program with no standard input. The output file, when given, is created anew.
  static std::optional<Process> Start(const ProcessSpec& spec, std::error_code& error);

  Process(Process&& other) noexcept;
  Process& operator=(Process&& other) noexcept;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  // A process nobody waited for is reaped in the background, so it never lingers as a zombie.
  ~Process();

  pid_t Id() const { return pid_; }
  // Waits until it ends; the exit code, or 128 + the signal that ended it.
  int Wait();
  // Waits at most the limit; empty when it still runs.
  std::optional<int> WaitFor(std::chrono::milliseconds limit);
  void Signal(int signalNumber) const;

 private:
  explicit Process(pid_t pid) : pid_(pid) {}
  std::optional<int> Reap(bool block);
  void ReapInBackground();

  pid_t pid_ = -1;
  std::optional<int> exitCode_;
};

// Opens a target as the desktop would: an executable file is started directly (in the given
// working directory), anything else (documents, links) through xdg-open. Does not wait.
std::error_code OpenWithSystem(const std::string& target, const std::string& workingDirectory = {});

// The variables an elevated program must see as the user's own: pkexec starts its program with
// root's environment, so these are handed to it explicitly.
using PassedEnvironment = std::vector<std::pair<std::string, std::string>>;

// The program started through pkexec, with the passed variables set for it. pkexec runs the
// launcher when one is given (a script whose polkit action tells the user what the rights are
// for; it takes env's arguments), else env itself; both set the working directory too.
ProcessSpec ElevatedSpec(const ProcessSpec& spec, const PassedEnvironment& passed, const std::string& launcher = {});

// Starts the program with administrator rights through pkexec when the user cannot write the
// given folder, directly when they can (a per-user install needs no elevation).
std::optional<Process> StartElevated(const ProcessSpec& spec, const std::string& folderToWrite,
                                     const PassedEnvironment& passed, std::error_code& error,
                                     const std::string& launcher = {});

// The user pkexec ran this process for (PKEXEC_UID), when it runs as root for one.
struct InvokingUser {
  uid_t uid;
  gid_t gid;
};
std::optional<InvokingUser> ElevatedFor(const std::function<std::optional<std::string>(std::string_view)>& environment);

// Files this thread creates from now on belong to the user and are opened with the user's rights;
// programs it starts run as root all the same.
void UseFilesAs(const InvokingUser& user);

// A program started as the user (root drops to them with setpriv).
ProcessSpec AsUser(const ProcessSpec& spec, const InvokingUser& user);

}  // namespace Quorvane::Platform
