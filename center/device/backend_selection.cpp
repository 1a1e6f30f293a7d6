#include "center/device/backend_selection.h"

#include "center/device/hidapi_backend.h"
#include "center/device/simulated_backend.h"

namespace Quorvane::Device {

std::unique_ptr<HidBackend> CreateHidBackend(const Platform::EnvironmentLookup& environment,
                                             Platform::Clock& clock) {
  if (const auto description = environment(kSimulatedDevicesVariable);
      description && !description->empty()) {
    return SimulatedBackend::FromFile(*description, clock);
  }
  return std::make_unique<HidapiBackend>();
}

}  // namespace Quorvane::Device
