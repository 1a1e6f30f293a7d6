// Tollwick: checks for, downloads and installs new versions of the Quorvane programs.
// Every start queues its command line; the copy that processes the queue runs each line.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "common/diagnostics/event_log.h"
#include "common/platform/clock.h"
#include "common/platform/known_folders.h"
#include "common/platform/lock_file.h"
#include "common/platform/program_start.h"
#include "updater/command_queue.h"
#include "updater/progress_dialog.h"
#include "updater/updater_run.h"

namespace {

using namespace Quorvane;

bool HasDisplay(const Platform::EnvironmentLookup& environment) {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    if (auto value = environment(variable); value && !value->empty()) return true;
  }
  return false;
}

// The queue file cannot be changed (a full or failing disk): the line is not queued or not
// taken, the queue stays as it was, and the reason goes to the event log.
void LogQueueFailure(Diagnostics::EventLog& eventLog, const std::system_error& error) {
  Diagnostics::WriteUpdaterEventLogEntry(
      eventLog, Diagnostics::kEventError,
      std::string("Tollwick could not use its command queue: ") + error.what());
}

}  // namespace

int main(int argc, char** argv) {
  const auto environment = Platform::ProcessEnvironment();
  Diagnostics::SyslogEventLog eventLog(
      environment(Diagnostics::kSyslogSocketVariable).value_or(""));
  const auto runtimeFolder = Platform::RuntimeFolder(environment);
  if (!runtimeFolder) {
    Diagnostics::WriteUpdaterEventLogEntry(
        eventLog, Diagnostics::kEventError,
        "Tollwick has no runtime folder for its queue and locks");
    return 1;
  }
  Updater::CommandQueue queue(*runtimeFolder);
  // A refused line is not run, but the queue still is: a copy killed while it processed leaves
  // its lines behind, and a full queue must not lock every later start out.
  bool queued = false;
  try {
    queued = queue.Enqueue(Platform::JoinedArguments(argc, argv), eventLog);
  } catch (const std::system_error& error) {
    LogQueueFailure(eventLog, error);
    return 1;
  }

  Platform::SystemClock clock;
  const Platform::KnownFolders folders = Platform::DiscoverKnownFolders();
  const auto processQueue = [&](Updater::ProgressView& progress) {
    const Updater::UpdaterContext context{
        folders, eventLog, clock, progress,
        Platform::LockFilePath(*runtimeFolder, "Tollwick.installing")};
    bool downloadsCleared = false;
    try {
      return queue.ProcessAll([&](const std::string& commandLine) {
        if (!std::exchange(downloadsCleared, true)) {
          context.RemoveStaleDownloadTemporaries();  // the processing lock is held here
        }
        // On standard error, not in the event log, which only takes errors and warnings.
        std::fprintf(stderr, "Tollwick: running the command line '%s'\n", commandLine.c_str());
        std::fflush(stderr);
        return Updater::RunCommandLine(context, commandLine);
      });
    } catch (const std::system_error& error) {
      LogQueueFailure(eventLog, error);
      return std::optional<int>(1);
    }
  };

  std::optional<int> result;
  if (!HasDisplay(environment)) {
    Updater::NoProgressView progress;
    result = processQueue(progress);
  } else {
    // The dialog needs the main thread: the queue is processed on a worker meanwhile. When the
    // display cannot be reached, the update goes on without a window.
    const bool platformChosen = std::getenv("QT_QPA_PLATFORM") != nullptr;
    setenv("QT_QPA_PLATFORM", "xcb;wayland;offscreen", 0);
    QApplication application(argc, argv);
    if (!platformChosen) {
      unsetenv(
          "QT_QPA_PLATFORM");  // a program it restarts gets the session's environment as it was
    }
    Updater::QtProgressView progress;
    std::thread worker([&] {
      result = processQueue(progress);
      QMetaObject::invokeMethod(&application, &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QApplication::exec();
    worker.join();
  }
  // A copy whose line another copy ran only queued it.
  return queued ? result.value_or(1) : 1;
}
