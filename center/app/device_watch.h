// Watching for controllers being plugged in and out, for the center.
#pragma once

#include <memory>

#include "center/app/application.h"
#include "center/device/device_monitor.h"

namespace Quorvane::Center {

inline constexpr const char* kDeviceWatchFailure =
    "RegisterDeviceNotification executed with return value of FALSE";

// Starts the watch. One that cannot start is shown and logged as an error of the center with the
// system's reason; the center goes on without it, and Refresh still finds what is plugged in.
std::unique_ptr<Device::HidDeviceMonitor> WatchForDevices(CApplication& application);

}  // namespace Quorvane::Center
