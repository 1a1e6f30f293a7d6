// The serial bootloader of simulated controllers. A controller that accepts the reset report
// shows up as a USB serial port: a pseudo-terminal, named <runtime folder>/ttyQVSIM<pid>-<n> by a
// link, whose far end speaks the bootloader's protocol. When the bootloader leaves (avrdude's exit
// command, or 8 s without a programmer) the controller comes back as a HID device with the
// firmware name and version found in the image's info block.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "center/device/simulated_backend.h"
#include "center/firmware/avr109_bootloader.h"
#include "center/firmware/serial_port_map.h"

namespace Quorvane::Firmware {

struct BootloaderOptions {
  bool refuseWrites = false;  // answer every flash write with an error
  bool neverAppear = false;   // leave the HID list but show no serial port (back after 8 s)
  // Where the port links are made; empty: the user's runtime folder, which needs no
  // administrator rights as /dev would.
  std::string portFolder;
};

class SimulatedBootloaderHost {
 public:
  SimulatedBootloaderHost(Device::SimulatedBackend& backend, SimulatedSerialPortMap& ports,
                          BootloaderOptions options = {});
  SimulatedBootloaderHost(const SimulatedBootloaderHost&) = delete;
  SimulatedBootloaderHost& operator=(const SimulatedBootloaderHost&) = delete;
  // Ends every bootloader still up.
  ~SimulatedBootloaderHost();

  void SetOptions(const BootloaderOptions& options);
  // The user pressed the controller's reset button: its bootloader comes up (a crashed
  // controller that is not on the HID list too).
  void HardwareReset(const std::string& controllerPath);

 private:
  struct Session;
  void Start(const std::string& controllerPath);
  void Serve(Session& session);
  void Leave(Session& session);

  Device::SimulatedBackend& backend_;
  SimulatedSerialPortMap& ports_;
  std::mutex mutex_;
  BootloaderOptions options_;
  std::atomic<bool> stopping_{false};
  int nextNumber_ = 0;
  std::vector<std::unique_ptr<Session>> sessions_;
};

}  // namespace Quorvane::Firmware
