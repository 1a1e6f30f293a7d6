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

std::uint32_t BlockValue(const ReportBlock& block, std::size_t index) {
  if (4 * index + 4 > block.size()) {
    return 0;
  }
  const std::size_t at = 4 * index;
  return static_cast<std::uint32_t>(block[at]) | (static_cast<std::uint32_t>(block[at + 1]) << 8) |
         (static_cast<std::uint32_t>(block[at + 2]) << 16) |
         (static_cast<std::uint32_t>(block[at + 3]) << 24);
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
