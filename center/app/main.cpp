// Kestrane, the center. Until its window arrives it runs without one: it finds the
// controllers, keeps their live values and firmware lists, and fetches messages and replies,
// until it is told to stop (SIGTERM or SIGINT).
#include <signal.h>

#include <cstdlib>
#include <string>

#include "center/app/application.h"
#include "center/app/single_instance.h"
#include "center/device/backend_selection.h"
#include "center/device/simulated_backend.h"
#include "center/firmware/simulated_bootloader.h"
#include "common/diagnostics/error_report.h"
#include "common/diagnostics/qv77_exception.h"
#include "common/platform/program_start.h"

namespace {

using namespace Quorvane;

void ReportFatal(Diagnostics::UserNotifier& notifier, Diagnostics::EventLog& eventLog, const char* title) {
  const std::string text = Diagnostics::FormatLastErrorReport(title);
  Diagnostics::ShowErrorBox(notifier, text);
  Diagnostics::WriteEventLogEntry(eventLog, Diagnostics::kCenterSource, Diagnostics::kEventError, text);
}

int Run(int argc, char** argv, Diagnostics::EventLog& eventLog, Diagnostics::UserNotifier& notifier) {
  const auto environment = Platform::ProcessEnvironment();
  const auto instance = Center::AcquireSingleInstance(environment);
  if (instance.anotherInstance) {
    notifier.Show(Diagnostics::NoticeIcon::Information, "Information", Center::kOnlyOneInstanceText);
    return 1;
  }
  if (!instance.lock) {
    const std::string text = Diagnostics::FormatErrorReport(instance.failedCall, instance.errorCode);
    Diagnostics::ShowErrorBox(notifier, text);
    Diagnostics::WriteEventLogEntry(eventLog, Diagnostics::kCenterSource, Diagnostics::kEventError, text);
    return 1;
  }
  // Stop signals are taken below, on this thread only.
  const Platform::StopSignals stopSignals;

  Platform::SystemClock clock;
  std::unique_ptr<Device::HidBackend> backend;
  try {
    backend = Device::CreateHidBackend(environment, clock);
  } catch (const std::exception& error) {
    Diagnostics::ShowErrorBox(notifier, error.what());
    Diagnostics::WriteEventLogEntry(eventLog, Diagnostics::kCenterSource, Diagnostics::kEventError, error.what());
    return 1;
  }
  Center::CApplication application({Platform::DiscoverKnownFolders(), Center::CenterService::FromEnvironment(environment),
                                    *backend, eventLog, notifier, clock});
  application.StartUp(Platform::JoinedArguments(argc, argv));

  std::unique_ptr<Device::HidDeviceMonitor> monitor;
  // Simulated controllers come with their bootloaders and serial ports.
  Firmware::SimulatedSerialPortMap simulatedPorts;
  std::unique_ptr<Firmware::SimulatedBootloaderHost> bootloaders;
  if (auto* simulated = dynamic_cast<Device::SimulatedBackend*>(backend.get())) {
    simulated->SetChangeListener([&] { application.OnDeviceChange(Device::DeviceChange::Arrival); });
    bootloaders = std::make_unique<Firmware::SimulatedBootloaderHost>(*simulated, simulatedPorts);
  } else {
    monitor = std::make_unique<Device::HidDeviceMonitor>(
        [&](Device::DeviceChange change) { application.OnDeviceChange(change); });
  }
  Center::NoCenterView view;
  application.StartPollThread(view);
  stopSignals.Wait();
  monitor.reset();
  application.Shutdown();
  bootloaders.reset();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* socket = std::getenv(Diagnostics::kSyslogSocketVariable);
  Diagnostics::SyslogEventLog eventLog(socket ? socket : "");
  Diagnostics::StderrUserNotifier notifier;
  try {
    return Run(argc, argv, eventLog, notifier);
  } catch (const Quorvane::QV77Exception&) {
    ReportFatal(notifier, eventLog, "QV77Exception ERROR");
  } catch (...) {
    ReportFatal(notifier, eventLog, "UNKNOWN ERROR");
  }
  return 1;
}
