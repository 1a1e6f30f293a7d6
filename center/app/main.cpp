// Kestrane, the center. With a display it shows its window; `Kestrane --headless` runs without
// one: it finds the controllers, keeps their live values and firmware lists, and fetches
// messages and replies, until it is told to stop (SIGTERM or SIGINT).
#include <signal.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "center/app/application.h"
#include "center/app/colour_palette.h"
#include "center/app/device_watch.h"
#include "center/app/display_check.h"
#include "center/app/guarded_application.h"
#include "center/app/qt_user_notifier.h"
#include "center/app/single_instance.h"
#include "center/app/windowed_run.h"
#include "center/firmware/controller_hardware.h"
#include "common/diagnostics/error_report.h"
#include "common/diagnostics/qv77_exception.h"
#include "common/platform/program_start.h"

namespace {

using namespace Quorvane;

void ReportFatal(Diagnostics::UserNotifier& notifier, Diagnostics::EventLog& eventLog,
                 const char* title) {
  const std::string text = Diagnostics::FormatLastErrorReport(title);
  Diagnostics::ShowErrorBox(notifier, text);
  Diagnostics::WriteEventLogEntry(eventLog, Diagnostics::kCenterSource, Diagnostics::kEventError,
                                  text);
}

void ReportError(Diagnostics::UserNotifier& notifier, Diagnostics::EventLog& eventLog,
                 const std::string& text) {
  Diagnostics::ShowErrorBox(notifier, text);
  Diagnostics::WriteEventLogEntry(eventLog, Diagnostics::kCenterSource, Diagnostics::kEventError,
                                  text);
}

// The window's notifier when there is a window; the headless run has none.
int RunCenter(const Center::CenterCommandLine& commandLine, Diagnostics::EventLog& eventLog,
              Diagnostics::UserNotifier& notifier, Center::QtUserNotifier* windowNotifier) {
  const auto environment = Platform::ProcessEnvironment();
  const auto instance = Center::AcquireSingleInstance(environment);
  if (instance.anotherInstance) {
    notifier.Show(Diagnostics::NoticeIcon::Information, "Information",
                  Center::kOnlyOneInstanceText);
    return 1;
  }
  if (!instance.lock) {
    ReportError(notifier, eventLog,
                Diagnostics::FormatErrorReport(instance.failedCall, instance.errorCode));
    return 1;
  }
  // Stop signals are blocked for every thread from here on and taken by this one.
  const Platform::StopSignals stopSignals;

  Platform::SystemClock clock;
  std::unique_ptr<Firmware::ControllerHardware> hardware;
  try {
    hardware = std::make_unique<Firmware::ControllerHardware>(environment, clock);
  } catch (const std::exception& error) {
    ReportError(notifier, eventLog, error.what());
    return 1;
  }
  Center::CApplication application({Platform::DiscoverKnownFolders(),
                                    Center::CenterService::FromEnvironment(environment, &eventLog),
                                    hardware->Backend(), eventLog, notifier, clock,
                                    &hardware->Ports()});
  application.StartUp(commandLine.rest);

  std::unique_ptr<Device::HidDeviceMonitor> monitor;
  if (auto* simulated = hardware->Simulated()) {
    simulated->SetChangeListener(
        [&] { application.OnDeviceChange(Device::DeviceChange::Arrival); });
  } else {
    monitor = Center::WatchForDevices(application);
  }
  const auto shutdown = [&] {
    monitor.reset();
    application.Shutdown();
    hardware.reset();  // the simulated bootloaders end with the core
  };

  if (windowNotifier == nullptr) {
    Center::NoCenterView view;
    application.StartPollThread(view);
    stopSignals.Wait();
    shutdown();
    return 0;
  }
  const auto version = Platform::ReadFileVersion(Platform::RunningExecutablePath());
  return Center::RunWindow(application, *windowNotifier, version, stopSignals.Set(), shutdown);
}

int Guarded(const Center::CenterCommandLine& commandLine, Diagnostics::EventLog& eventLog,
            Diagnostics::UserNotifier& notifier, Center::QtUserNotifier* windowNotifier) {
  try {
    return RunCenter(commandLine, eventLog, notifier, windowNotifier);
  } catch (const Quorvane::QV77Exception&) {
    ReportFatal(notifier, eventLog, "QV77Exception ERROR");
  } catch (...) {
    ReportFatal(notifier, eventLog, "UNKNOWN ERROR");
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const char* socket = std::getenv(Diagnostics::kSyslogSocketVariable);
  Diagnostics::SyslogEventLog eventLog(socket ? socket : "");
  const auto commandLine = Center::ParseCenterCommandLine(argc, argv);
  if (commandLine.headless) {
    Diagnostics::StderrUserNotifier notifier;
    return Guarded(commandLine, eventLog, notifier, nullptr);
  }
  if (!Center::DisplayReachable(Platform::ProcessEnvironment())) {
    std::fprintf(stderr, "%s\n", Center::kNoDisplayText);
    Diagnostics::WriteEventLogEntry(eventLog, Diagnostics::kCenterSource, Diagnostics::kEventError,
                                    Center::kNoDisplayText);
    return 1;
  }
  Center::GuardedApplication toolkit(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName(QStringLiteral("Kestrane"));
  QApplication::setDesktopFileName(QStringLiteral("example.quorvane.Kestrane"));
  Center::ApplyColourScheme();
  Center::QtUserNotifier notifier;
  return Guarded(commandLine, eventLog, notifier, &notifier);
}
