#include "updater/command_queue.h"

#include <sstream>
#include <stdexcept>
#include <vector>

#include "common/platform/atomic_file.h"
#include "common/platform/file_recovery.h"
#include "common/platform/lock_file.h"
#include "common/platform/utf16.h"

namespace Quorvane::Updater {
namespace {

constexpr const char* kQueueFileName = "Tollwick.queue";

std::vector<std::string> ReadLines(const std::string& path) {
  std::error_code error;
  const auto content = Platform::ReadWholeFile(path, error);
  return content ? ParseQueueText(*content) : std::vector<std::string>{};
}

// Holds the queue lock for one change of the queue file.
Platform::LockFile HoldQueue(const std::string& lockPath) {
  std::error_code error;
  auto lock = Platform::LockFile::Acquire(lockPath, error);
  if (!lock) {
    throw std::system_error(error, "cannot lock the updater queue");
  }
  return std::move(*lock);
}

}  // namespace

std::vector<std::string> ParseQueueText(std::string_view text) {
  std::vector<std::string> lines;
  std::istringstream stream{std::string(text)};
  for (std::string line; std::getline(stream, line);) {
    lines.push_back(line);
  }
  return lines;
}

std::string QueueText(const std::vector<std::string>& lines) {
  std::string content;
  for (const auto& line : lines) {
    content += line + "\n";
  }
  return content;
}

CommandQueue::CommandQueue(std::string runtimeFolder)
    : runtimeFolder_(runtimeFolder),
      queuePath_(runtimeFolder + "/" + kQueueFileName),
      queueLockPath_(Platform::LockFilePath(runtimeFolder, "Tollwick.queue")),
      processingLockPath_(Platform::LockFilePath(runtimeFolder, "Tollwick.processing")) {}

std::size_t CommandLineLength(std::string_view commandLine) {
  // Characters as the command line's wide text counts them; bytes that are no UTF-8 count one each.
  const auto wide = Platform::Utf8ToUtf16(commandLine);
  return wide ? wide->size() : commandLine.size();
}

bool CommandQueue::Enqueue(const std::string& commandLine, Diagnostics::EventLog& eventLog) {
  if (CommandLineLength(commandLine) > kMaxCommandLineLength) {
    Diagnostics::WriteUpdaterEventLogEntry(
        eventLog, Diagnostics::kEventError,
        "The command line is longer than " + std::to_string(kMaxCommandLineLength) +
            " characters and was not run: '" + commandLine + "'");
    return false;
  }
  // A line break would split the line in two queue entries.
  std::string line = commandLine;
  for (char& character : line) {
    if (character == '\n' || character == '\r') character = ' ';
  }
  const Platform::LockFile lock = HoldQueue(queueLockPath_);
  // Under the queue lock no other copy writes the queue: what a killed write left is stale.
  Platform::RemoveStaleTemporaries(runtimeFolder_, {{kQueueFileName}, {}},
                                   Platform::TemporariesStaleBefore());
  std::vector<std::string> lines = ReadLines(queuePath_);
  if (lines.size() >= kMaxQueuedLines) {
    Diagnostics::WriteUpdaterEventLogEntry(
        eventLog, Diagnostics::kEventError,
        "The updater queue already holds " + std::to_string(kMaxQueuedLines) +
            " command lines; this one was not run: '" + commandLine + "'");
    return false;
  }
  lines.push_back(line);
  if (auto error = Platform::WriteFileAtomically(queuePath_, QueueText(lines))) {
    throw std::system_error(error, "cannot write the updater queue");
  }
  return true;
}

std::optional<std::string> CommandQueue::TakeNext() {
  const Platform::LockFile lock = HoldQueue(queueLockPath_);
  std::vector<std::string> lines = ReadLines(queuePath_);
  if (lines.empty()) {
    return std::nullopt;
  }
  std::string next = std::move(lines.front());
  lines.erase(lines.begin());
  if (auto error = Platform::WriteFileAtomically(queuePath_, QueueText(lines))) {
    throw std::system_error(error, "cannot write the updater queue");
  }
  return next;
}

std::vector<std::string> CommandQueue::Pending() const {
  const Platform::LockFile lock = HoldQueue(queueLockPath_);
  return ReadLines(queuePath_);
}

std::optional<int> CommandQueue::ProcessAll(const std::function<int(const std::string&)>& run) {
  std::optional<int> last;
  for (;;) {
    std::error_code error;
    auto processing = Platform::LockFile::TryAcquire(processingLockPath_, error);
    if (!processing) {
      return last;  // another copy processes (and will see our line)
    }
    while (auto line = TakeNext()) {
      last = run(*line);
    }
    processing->Release();
    // A line added after our last look but before the release found the lock taken: look once
    // more, and process it if no other copy has taken over.
    if (Pending().empty()) {
      return last;
    }
  }
}

}  // namespace Quorvane::Updater
