#include "center/firmware/controller_hardware.h"

#include "center/device/backend_selection.h"

namespace Quorvane::Firmware {

ControllerHardware::ControllerHardware(const Platform::EnvironmentLookup& environment,
                                       Platform::Clock& clock)
    : backend_(Device::CreateHidBackend(environment, clock)),
      simulated_(dynamic_cast<Device::SimulatedBackend*>(backend_.get())) {
  if (simulated_ != nullptr) {
    bootloaders_ = std::make_unique<SimulatedBootloaderHost>(*simulated_, simulatedPorts_);
  }
}

// The bootloaders end before the controllers they belong to.
ControllerHardware::~ControllerHardware() { bootloaders_.reset(); }

SerialPortMap& ControllerHardware::Ports() {
  return simulated_ != nullptr ? static_cast<SerialPortMap&>(simulatedPorts_)
                               : static_cast<SerialPortMap&>(systemPorts_);
}

}  // namespace Quorvane::Firmware
