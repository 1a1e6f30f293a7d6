#include "center/app/device_watch.h"

#include "common/diagnostics/error_report.h"

namespace Quorvane::Center {

std::unique_ptr<Device::HidDeviceMonitor> WatchForDevices(CApplication& application) {
  auto monitor = std::make_unique<Device::HidDeviceMonitor>(
      [&application](Device::DeviceChange change) { application.OnDeviceChange(change); });
  if (!monitor->Active()) {
    const auto& environment = application.Environment();
    const std::string text =
        Diagnostics::FormatErrorReport(kDeviceWatchFailure, monitor->FailureCode());
    Diagnostics::ShowErrorBox(environment.notifier, text);
    Diagnostics::WriteEventLogEntry(environment.eventLog, Diagnostics::kCenterSource,
                                    Diagnostics::kEventError, text);
  }
  return monitor;
}

}  // namespace Quorvane::Center
