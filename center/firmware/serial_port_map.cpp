#include "center/firmware/serial_port_map.h"

#include <libudev.h>

#include <algorithm>
#include <cstring>

namespace Quorvane::Firmware {
namespace {

struct UdevContext {
  udev* context = udev_new();
  ~UdevContext() {
    if (context != nullptr) udev_unref(context);
  }
};

bool IsCdcAcm(udev_device* tty) {
  udev_device* interface =
      udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_interface");
  const char* driver = interface != nullptr ? udev_device_get_driver(interface) : nullptr;
  return driver != nullptr && std::strcmp(driver, "cdc_acm") == 0;
}

}  // namespace

bool UdevSerialPortMap::EnumerateNames(std::vector<std::string>& names) {
  UdevContext udev;
  if (udev.context == nullptr) return false;
  udev_enumerate* enumerate = udev_enumerate_new(udev.context);
  if (enumerate == nullptr) return false;
  udev_enumerate_add_match_subsystem(enumerate, "tty");
  const bool scanned = udev_enumerate_scan_devices(enumerate) >= 0;
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
    const char* path = udev_list_entry_get_name(entry);
    // Only ttys of a device count as serial ports: consoles and pseudo-terminals are virtual.
    if (path != nullptr && std::strstr(path, "/virtual/") == nullptr) {
      names.emplace_back(path);
    }
  }
  udev_enumerate_unref(enumerate);
  return scanned;
}

std::optional<SerialPortEntry> UdevSerialPortMap::Read(const std::string& name) {
  UdevContext udev;
  if (udev.context == nullptr) return std::nullopt;
  udev_device* tty = udev_device_new_from_syspath(udev.context, name.c_str());
  if (tty == nullptr) return std::nullopt;
  auto entry = TtyEntry(name, udev_device_get_devnode(tty), udev_device_get_is_initialized(tty) > 0,
                        IsCdcAcm(tty));
  udev_device_unref(tty);
  return entry;
}

std::optional<SerialPortEntry> TtyEntry(const std::string& name, const char* node, bool initialized,
                                        bool usbSerial) {
  if (node == nullptr || !initialized) {
    return std::nullopt;
  }
  return SerialPortEntry{name, node, usbSerial};
}

void SimulatedSerialPortMap::Add(const SerialPortEntry& entry) {
  std::lock_guard lock(mutex_);
  entries_.push_back(entry);
}

void SimulatedSerialPortMap::Remove(const std::string& name) {
  std::lock_guard lock(mutex_);
  entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                [&](const SerialPortEntry& entry) { return entry.name == name; }),
                 entries_.end());
}

bool SimulatedSerialPortMap::EnumerateNames(std::vector<std::string>& names) {
  std::lock_guard lock(mutex_);
  for (const auto& entry : entries_) names.push_back(entry.name);
  return true;
}

std::optional<SerialPortEntry> SimulatedSerialPortMap::Read(const std::string& name) {
  std::lock_guard lock(mutex_);
  for (const auto& entry : entries_) {
    if (entry.name == name) return entry;
  }
  return std::nullopt;
}

}  // namespace Quorvane::Firmware
