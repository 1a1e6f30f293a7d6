// Finding the serial port the controller's bootloader shows up on: a snapshot of the serial
// port map, then a poll every 300 ms until a USB serial port is seen, after the reset command
// (10 s) or while the user resets the controller by hand (20 s, with a countdown).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "center/device/hid_backend.h"
#include "center/firmware/firmware_view.h"
#include "center/firmware/serial_port_map.h"
#include "common/platform/clock.h"

namespace Quorvane::Firmware {

inline constexpr const char* kNoPortDetected = "No Controller Reset or COM port detected!";

// Known-port list: true when the entry is in it already, or is a USB serial port (then added).
bool RememberUsbSerialPort(std::vector<SerialPortEntry>& known, const SerialPortEntry& entry);

// Which USB serial ports count as the bootloader's: those that were not listed before the reset,
// and those that went away since and came back. A port that was there all along belongs to
// another device (a board, a modem) and is never flashed.
class BootloaderPortFilter {
 public:
  explicit BootloaderPortFilter(std::vector<SerialPortEntry> before) : before_(std::move(before)) {}
  // One pass over the entries listed now, in the map's order: the last one that counts.
  std::optional<SerialPortEntry> Pass(const std::vector<SerialPortEntry>& listed);

 private:
  std::vector<SerialPortEntry> before_;  // listed at the snapshot and not seen gone since
};

// The port name test: a path whose last part begins with "tty" in any letter case (/dev/ttyACM0,
// or a link to a terminal such as the simulated bootloader makes in the runtime folder).
bool IsSerialPortName(const std::string& port);

struct DetectionServices {
  SerialPortMap& ports;
  Platform::Clock& clock;
  FirmwareView& view;
};

// The USB serial ports present before anything is reset (and every name, for the count).
struct PortSnapshot {
  std::vector<std::string> names;
  std::vector<SerialPortEntry> known;
};
PortSnapshot TakePortSnapshot(SerialPortMap& ports);

// Sends the reset report to the controller, then polls. The port name as the map holds it, or
// nothing (the status then says kNoPortDetected).
std::optional<std::string> WaitForBootloaderPort(const DetectionServices& services,
                                                 PortSnapshot snapshot, Device::HidBackend& backend,
                                                 const std::string& devicePath);

// Counts down while the user resets the controller; ends when a new name appears or the time is
// up, and uses the last USB serial port seen.
std::optional<std::string> WaitForManualResetPort(const DetectionServices& services,
                                                  PortSnapshot snapshot);

}  // namespace Quorvane::Firmware
