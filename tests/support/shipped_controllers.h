// The simulated controllers of description files shipped with the program, from the folder the
// test target names in QUORVANE_SIMULATED_DIR, one file's after the other's.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "center/device/simulated_backend.h"

namespace Quorvane::Testing {

inline std::vector<Device::SimulatedController> ShippedControllers(
    std::initializer_list<std::string> names) {
  std::vector<Device::SimulatedController> all;
  for (const auto& name : names) {
    for (auto& controller : Device::SimulatedBackend::ReadDescriptionFile(
             std::string(QUORVANE_SIMULATED_DIR) + "/" + name)) {
      all.push_back(std::move(controller));
    }
  }
  return all;
}

}  // namespace Quorvane::Testing
