#include "center/device/device_monitor.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Quorvane::Device {

struct HidDeviceMonitor::Udev {
  udev* context = nullptr;
  udev_monitor* monitor = nullptr;
  ~Udev() {
    if (monitor != nullptr) udev_monitor_unref(monitor);
    if (context != nullptr) udev_unref(context);
  }
};

DeviceChange ChangeOfAction(const char* action) {
  if (action == nullptr) return DeviceChange::Other;
  if (std::strcmp(action, "add") == 0) return DeviceChange::Arrival;
  if (std::strcmp(action, "remove") == 0) return DeviceChange::Removal;
  if (std::strcmp(action, "change") == 0) return DeviceChange::NodeChange;
  return DeviceChange::Other;
}

HidDeviceMonitor::HidDeviceMonitor(std::function<void(DeviceChange)> changed)
    : changed_(std::move(changed)), udev_(std::make_unique<Udev>()) {
  errno = 0;
  udev_->context = udev_new();
  if (udev_->context != nullptr) {
    udev_->monitor = udev_monitor_new_from_netlink(udev_->context, "udev");
  }
  if (udev_->monitor == nullptr ||
      udev_monitor_filter_add_match_subsystem_devtype(udev_->monitor, "hidraw", nullptr) < 0 ||
      udev_monitor_enable_receiving(udev_->monitor) < 0 ||
      (stopFd_ = eventfd(0, EFD_CLOEXEC)) < 0) {
    failureCode_ = errno != 0 ? errno : EINVAL;
    return;
  }
  thread_ = std::thread([this] { Watch(); });
}

HidDeviceMonitor::~HidDeviceMonitor() {
  if (thread_.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(stopFd_, &one, sizeof one);
    thread_.join();
  }
  if (stopFd_ >= 0) close(stopFd_);
}

void HidDeviceMonitor::Watch() {
  pollfd descriptors[2] = {{udev_monitor_get_fd(udev_->monitor), POLLIN, 0}, {stopFd_, POLLIN, 0}};
  for (;;) {
    if (poll(descriptors, 2, -1) < 0) {
      continue;
    }
    if (descriptors[1].revents != 0) {
      return;
    }
    if (descriptors[0].revents & POLLIN) {
      if (udev_device* device = udev_monitor_receive_device(udev_->monitor)) {
        const DeviceChange change = ChangeOfAction(udev_device_get_action(device));
        udev_device_unref(device);
        changed_(change);
      }
    }
  }
}

}  // namespace Quorvane::Device
