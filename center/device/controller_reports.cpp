#include "center/device/controller_reports.h"

#include <algorithm>
#include <cstring>

#include "common/platform/utf16.h"
#include "common/service_client/scramble.h"

namespace Quorvane::Device {

std::string FirmwareName(const IdentityReport& identity) {
  std::string name;
  // The name's field is bytes 1..42: without a zero byte it ends there, before the family and
  // configuration bytes.
  constexpr std::size_t kNameEnd = 43;
  for (std::size_t at = 1; at < std::min(identity.size(), kNameEnd) && identity[at] != 0; ++at) {
    // One byte, one character (Latin-1), so every name is valid UTF-8.
    Platform::AppendUtf8(name, identity[at]);
  }
  return name;
}

bool HasScrambledBootloader(const IdentityReport& identity) {
  return std::memcmp(identity.data() + 26, "QV77 BL\0", 8) == 0;
}

std::uint8_t AxisSlotType(const IdentityReport& identity, std::size_t slot) {
  return slot >= 1 && slot <= kAxisSlots ? identity[46 + slot] : 0;
}

std::uint32_t ControllerKindOf(const IdentityReport& identity) {
  const std::uint8_t family = Family(identity);
  const std::uint8_t configuration = Configuration(identity);
  if (family == 'H') {
    if (configuration != 'X') return 0;
    return FirmwareMajor(identity) > 3 ? 2 : 1;
  }
  if (family != 'A' && family != 'B') {
    return 0;
  }
  switch (configuration) {
    case 'S':
      return 3;
    case 'D':
      return 4;
    case 'T':
      return 5;
    case 'Q':
      return 6;
    default:
      return 0;
  }
}

std::uint32_t AxisChannelCount(std::uint32_t kind) {
  switch (kind) {
    case 2:
    case 3:
      return 1;
    case 4:
      return 2;
    case 5:
      return 3;
    case 6:
      return 4;
    default:
      return 0;
  }
}

std::uint32_t BlockValue(const ReportBlock& block, std::size_t index) {
  if (4 * index + 4 > block.size()) {
    return 0;
  }
  const std::size_t at = 4 * index;
  return static_cast<std::uint32_t>(block[at]) | (static_cast<std::uint32_t>(block[at + 1]) << 8) |
         (static_cast<std::uint32_t>(block[at + 2]) << 16) |
         (static_cast<std::uint32_t>(block[at + 3]) << 24);
}

std::optional<CalibrationCodes> CalibrationCodesFor(std::uint32_t kind, std::uint32_t channel,
                                                    std::uint8_t slotType) {
  switch (kind) {
    case 1:
    case 2:
    case 3:
      // One load cell: channel 0, whatever its slot type.
      if (channel > 0) return std::nullopt;
      return CalibrationCodes{0, 1};
    case 4:
      if (channel > 1) return std::nullopt;
      return slotType == kSlotBrake ? CalibrationCodes{0, 1} : CalibrationCodes{2, 4};
    case 5:
      if (channel > 2) return std::nullopt;
      if (slotType == kSlotBrake) return CalibrationCodes{0, 1};
      if (slotType == kSlotAccelerator) return CalibrationCodes{2, 4};
      return CalibrationCodes{8, 16};
    case 6:
      if (channel > 3) return std::nullopt;
      if (slotType == kSlotBrake) return CalibrationCodes{0, 1};
      if (slotType == kSlotAccelerator) return CalibrationCodes{2, 4};
      if (slotType == kSlotClutch) return CalibrationCodes{8, 16};
      return CalibrationCodes{18, 20};
    default:
      return std::nullopt;
  }
}

OutputReport MakeCalibrationCommandReport(std::uint8_t code, std::uint32_t parameter) {
  OutputReport report{};
  report[0] = kCalibrationCommandReportId;
  report[1] = code;
  for (std::size_t byte = 0; byte < 4; ++byte) {
    report[2 + byte] = static_cast<std::uint8_t>(parameter >> (8 * byte));
  }
  return report;
}

OutputReport MakeResetReport() {
  OutputReport report{};
  report[0] = kResetReportId;
  const auto unlock = Service::ResetUnlockSequence();
  std::memcpy(report.data() + 1, unlock.data(), unlock.size());
  return report;
}

}  // namespace Quorvane::Device
