// Identity, button map and live reports as a controller might send them, whatever their bytes:
// kind, rows, names, firmware identity and every row's live value.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "center/device/device_discovery.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace Quorvane::Device;
  QuorvaneDevice controller;
  const auto take = [&](auto& target) {
    const std::size_t count = std::min(size, target.size());
    std::memcpy(target.data(), data, count);
    data += count;
    size -= count;
  };
  take(controller.identityReport);
  take(controller.buttonMapReport);
  take(controller.reportA);
  controller.kind = ControllerKindOf(controller.identityReport);
  controller.logicalMaximum = 65535;
  for (auto& row : RowsOfController(controller)) {
    GetFirmwareIdentity(row);
    DecodeLiveValue(row);
    row.PresentCalibrationMaximum();
    CalibrationCodesFor(row.kind, row.channelIndex, row.ChannelSlotType());
  }
  return 0;
}
