// Controller description files from arbitrary text: loaded or refused with an error.
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "center/device/simulated_backend.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    Quorvane::Device::SimulatedBackend::ParseDescription(
        std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const std::runtime_error&) {
  }
  return 0;
}
