// Starting other programs: always with an argument vector, never through a shell command
// text, so blanks, quotes and other characters in the data arrive unchanged.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace Quorvane::Platform {

struct ProcessSpec {
  using Environment = std::vector<std::pair<std::string, std::string>>;

  std::string program;                 // a path, or a name looked up in PATH
  std::vector<std::string> arguments;  // after the program name
  std::string workingDirectory;        // empty: the caller's
  std::string outputFile;              // empty: inherit; else stdout and stderr both go there
  // Variables set (or replaced) for the program; the rest of this process's environment stays.
  Environment environment;
  // Descriptors of this process the program keeps open (every other one is closed for it).
  std::vector<int> keptDescriptors;
  // When set (and no output file is given): stdout and stderr go to this descriptor.
  int outputDescriptor = -1;
  // The program leads a session of its own: it outlives this process and its terminal.
  bool newSession = false;
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

  // Waits until it ends; the exit code, or 128 + the signal that ended it.
  int Wait();
  // Waits at most the limit; empty when it still runs.
  std::optional<int> WaitFor(std::chrono::milliseconds limit);
  void Signal(int signalNumber) const;
  // The signal to every process of the group it leads (started with newSession): a script and
  // the tools it started.
  void SignalGroup(int signalNumber) const;

 private:
  explicit Process(pid_t pid) : pid_(pid) {}
  std::optional<int> Reap(bool block);
  void ReapInBackground();

  pid_t pid_ = -1;
  std::optional<int> exitCode_;
};

}  // namespace Quorvane::Platform
