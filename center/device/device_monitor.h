// Arrival and removal of HID devices: a libudev monitor of the hidraw subsystem, watched on a
// thread of its own.
#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace Quorvane::Device {

enum class DeviceChange { Arrival, Removal, NodeChange, Other };

class HidDeviceMonitor {
 public:
  // Calls `changed` from the monitor's thread for every hidraw event. A machine without udev
  // gives a monitor that reports nothing (Active() is false).
  explicit HidDeviceMonitor(std::function<void(DeviceChange)> changed);
  HidDeviceMonitor(const HidDeviceMonitor&) = delete;
  HidDeviceMonitor& operator=(const HidDeviceMonitor&) = delete;
  ~HidDeviceMonitor();

  bool Active() const { return thread_.joinable(); }

 private:
  void Watch();

  std::function<void(DeviceChange)> changed_;
  struct Udev;
  std::unique_ptr<Udev> udev_;
  int stopFd_ = -1;
  std::thread thread_;
};

// The change an udev action names: "add", "remove", "change".
DeviceChange ChangeOfAction(const char* action);

}  // namespace Quorvane::Device
