// The HID backend of a run: the real one, or the simulated controllers when the environment
// variable QUORVANE_SIMULATED_DEVICES names a description file.
#pragma once

#include <memory>

#include "center/device/hid_backend.h"
#include "common/platform/clock.h"
#include "common/platform/known_folders.h"

namespace Quorvane::Device {

inline constexpr const char* kSimulatedDevicesVariable = "QUORVANE_SIMULATED_DEVICES";

// Throws std::runtime_error when the description file cannot be read or is not valid.
std::unique_ptr<HidBackend> CreateHidBackend(const Platform::EnvironmentLookup& environment,
                                             Platform::Clock& clock);

}  // namespace Quorvane::Device
