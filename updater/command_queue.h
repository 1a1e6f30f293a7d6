// The queue that every start of the updater adds its command line to. One copy at a time
// processes the queue; the others only add their line and leave. A lock file guards the queue
// file while a line is added or taken, and a second one marks the processing copy; the kernel
// releases both when a copy dies, so a crashed copy never blocks later starts.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/diagnostics/event_log.h"

namespace Quorvane::Updater {

inline constexpr std::size_t kMaxCommandLineLength = 259;
inline constexpr std::size_t kMaxQueuedLines = 260;

// A command line's length in characters (UTF-16 code units, as the line's wide text has them).
std::size_t CommandLineLength(std::string_view commandLine);

// The queue file's text: one command line per line, each ended by a line feed.
std::vector<std::string> ParseQueueText(std::string_view text);
std::string QueueText(const std::vector<std::string>& lines);

class CommandQueue {
 public:
  // The queue and its locks live in the runtime folder.
  explicit CommandQueue(std::string runtimeFolder);

  // Adds a line. A line over 259 characters or a queue already holding 260 lines is refused
  // with an event-log entry (false); the caller still processes the queue, so that a queue a
  // killed copy left full is emptied by the next start.
  bool Enqueue(const std::string& commandLine, Diagnostics::EventLog& eventLog);

  // If no other copy processes the queue, runs every queued line in order, taking each from
  // the queue before it runs, until the queue is empty; before leaving, looks once more and
  // processes again if a line came in meanwhile. Returns the result of the last run, or empty
  // when this copy ran nothing (another copy processes, or processed its line).
  std::optional<int> ProcessAll(const std::function<int(const std::string&)>& run);

  // The lines waiting in the queue, oldest first.
  std::vector<std::string> Pending() const;

 private:
  std::optional<std::string> TakeNext();

  std::string runtimeFolder_;
  std::string queuePath_;
  std::string queueLockPath_;
  std::string processingLockPath_;
};

}  // namespace Quorvane::Updater
