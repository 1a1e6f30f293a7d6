// The map of serial ports the bootloader detection watches: every tty the system lists, with
// its name (the device's sysfs path), its port (the /dev node) and whether it is a USB serial
// port. The real map comes from libudev; the simulated one is fed by simulated controllers.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Quorvane::Firmware {

struct SerialPortEntry {
  std::string name;        // the tty's sysfs path
  std::string port;        // its /dev node
  bool usbSerial = false;  // hangs under a USB interface bound to cdc_acm
  bool operator==(const SerialPortEntry&) const = default;
};

class SerialPortMap {
 public:
  virtual ~SerialPortMap() = default;
  // The names in enumeration order; false when the map could not be read (the names read so
  // far are kept).
  virtual bool EnumerateNames(std::vector<std::string>& names) = 0;
  // The entry of a name; empty when it cannot be read (the port went away meanwhile).
  virtual std::optional<SerialPortEntry> Read(const std::string& name) = 0;
};

// The system's ttys that belong to a device (virtual consoles and pseudo-terminals are left out).
class UdevSerialPortMap final : public SerialPortMap {
 public:
  bool EnumerateNames(std::vector<std::string>& names) override;
  std::optional<SerialPortEntry> Read(const std::string& name) override;
};

// The entry of a tty as udev describes it; none while it has no device node or udev has not
// finished setting it up (its rules have not given the user access yet).
std::optional<SerialPortEntry> TtyEntry(const std::string& name, const char* node, bool initialized,
                                        bool usbSerial);

// Ports added and removed by simulated bootloaders (and by tests), in the order they came.
class SimulatedSerialPortMap final : public SerialPortMap {
 public:
  void Add(const SerialPortEntry& entry);
  void Remove(const std::string& name);
  bool EnumerateNames(std::vector<std::string>& names) override;
  std::optional<SerialPortEntry> Read(const std::string& name) override;

 private:
  std::mutex mutex_;
  std::vector<SerialPortEntry> entries_;
};

}  // namespace Quorvane::Firmware
