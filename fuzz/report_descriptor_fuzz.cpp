// The report descriptor parser on arbitrary bytes.
#include <cstdint>

#include "center/device/report_descriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Quorvane::Device::FirstInputValueRange({data, size});
  return 0;
}
