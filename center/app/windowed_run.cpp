#include "center/app/windowed_run.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>

#include "center/app/guarded_application.h"
#include "center/app/live_value_buffer.h"
#include "center/app/main_window.h"
#include "center/app/qt_center_view.h"
#include "center/app/qt_user_notifier.h"
#include "common/platform/unique_fd.h"

namespace Quorvane::Center {

int RunWindow(CApplication& application, QtUserNotifier& notifier,
              const Platform::FileVersion& version, const sigset_t& stopSignals,
              const std::function<void()>& shutdown) {
  LiveValueBuffer liveValues;
  MainWindow window(application, liveValues, version);
  notifier.SetParent(&window);
  QtCenterView view(window, liveValues);
  window.ShowAtStart();
  window.RebuildListDisplay();

  // SIGTERM and SIGINT end the program as the Exit command does.
  Platform::UniqueFd stopFd(signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK));
  std::unique_ptr<QSocketNotifier> stop;
  if (stopFd.Valid()) {
    stop = std::make_unique<QSocketNotifier>(stopFd.Get(), QSocketNotifier::Read);
    QObject::connect(stop.get(), &QSocketNotifier::activated, &window, [&window, &stopFd] {
      signalfd_siginfo info{};
      while (read(stopFd.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      }
      window.Quit();
    });
  }

  application.StartPollThread(view);
  const int code = QApplication::exec();
  // Threads that wait for a message box go on; the core ends while the window still exists,
  // since its threads may still post to it.
  notifier.SetClosing();
  shutdown();
  // An exception that ended the event loop is reported as one of the start-up is, with its box.
  notifier.Reopen();
  GuardedApplication::RethrowEscaped();
  return code;
}

}  // namespace Quorvane::Center
