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
  // Calls `changed` from the monitor's thread for every hidraw event. A monitor that cannot start
  // (no udev, no netlink socket) reports nothing: Active() is false and FailureCode() says why.
  explicit HidDeviceMonitor(std::function<void(DeviceChange)> changed);
  HidDeviceMonitor(const HidDeviceMonitor&) = delete;
  HidDeviceMonitor& operator=(const HidDeviceMonitor&) = delete;
  ~HidDeviceMonitor();

  bool Active() const { return thread_.joinable(); }
  // The system's error code of the step that failed, when it did not start.
  int FailureCode() const { return failureCode_; }

 private:
  void Watch();

  std::function<void(DeviceChange)> changed_;
  struct Udev;
  std::unique_ptr<Udev> udev_;
  int stopFd_ = -1;
  int failureCode_ = 0;
  std::thread thread_;
};

// The change an udev action names: "add", "remove", "change".
DeviceChange ChangeOfAction(const char* action);

}  // namespace Quorvane::Device
