// The controllers of a run and the serial ports their bootloaders show up on: the real HID
// devices and serial ports, or, when QUORVANE_SIMULATED_DEVICES names a description file, the
// simulated controllers with their simulated bootloaders.
#pragma once

#include <memory>

#include "center/device/hid_backend.h"
#include "center/device/simulated_backend.h"
#include "center/firmware/serial_port_map.h"
#include "center/firmware/simulated_bootloader.h"
#include "common/platform/clock.h"
#include "common/platform/known_folders.h"

namespace Quorvane::Firmware {

class ControllerHardware {
 public:
  // Throws std::runtime_error when the description file cannot be read or is not valid.
  ControllerHardware(const Platform::EnvironmentLookup& environment, Platform::Clock& clock);
  ControllerHardware(const ControllerHardware&) = delete;
  ControllerHardware& operator=(const ControllerHardware&) = delete;
  ~ControllerHardware();

  Device::HidBackend& Backend() { return *backend_; }
  SerialPortMap& Ports();
  // The simulated controllers; none for real hardware.
  Device::SimulatedBackend* Simulated() { return simulated_; }

 private:
  std::unique_ptr<Device::HidBackend> backend_;
  Device::SimulatedBackend* simulated_ = nullptr;
  SimulatedSerialPortMap simulatedPorts_;
  UdevSerialPortMap systemPorts_;
  std::unique_ptr<SimulatedBootloaderHost> bootloaders_;
};

}  // namespace Quorvane::Firmware
