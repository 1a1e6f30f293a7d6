#include "center/device/controller_kind.h"

#include <algorithm>
#include <array>

namespace Quorvane::Device {

const ControllerKindTraits& TraitsOf(ControllerKind kind) {
  static constexpr std::array<ControllerKindTraits, 7> kTraits{{
      {"unrecognised", 0, false, nullptr},
      // The legacy HX is calibrated like any load cell but shows no buttons and is not looked up.
      {"legacy HX", 1, false, nullptr},
      {"HX", 1, true, "Quorvane HX Controller (HX)"},
      {"single", 1, true, "Quorvane Single Controller (Single)"},
      {"dual", 2, true, "Quorvane Dual Controller (Dual)"},
      {"triple", 3, true, "Quorvane Triple Controller (Triple)"},
      {"quad", 4, true, "Quorvane Quad Controller (Quad)"},
  }};
  const auto index = static_cast<std::size_t>(kind);
  return kTraits[index < kTraits.size() ? index : 0];
}

ControllerKind ControllerKindOf(const IdentityReport& identity) {
  const std::uint8_t family = Family(identity);
  const std::uint8_t configuration = Configuration(identity);
  if (family == 'H') {
    if (configuration != 'X') return ControllerKind::Unrecognised;
    return FirmwareMajor(identity) > 3 ? ControllerKind::Hx : ControllerKind::LegacyHx;
  }
  if (family != 'A' && family != 'B') {
    return ControllerKind::Unrecognised;
  }
  switch (configuration) {
    case 'S':
      return ControllerKind::Single;
    case 'D':
      return ControllerKind::Dual;
    case 'T':
      return ControllerKind::Triple;
    case 'Q':
      return ControllerKind::Quad;
    default:
      return ControllerKind::Unrecognised;
  }
}

std::optional<CalibrationCodes> CalibrationCodesFor(ControllerKind kind, std::uint32_t channel,
                                                    std::uint8_t slotType) {
  // The codes of the brake, accelerator, clutch and handbrake commands. A controller with n
  // load cells takes the first n; a slot type beyond them (or none known) takes the n-th: a
  // dual's second cell is calibrated as the accelerator whatever its slot says.
  static constexpr std::array<CalibrationCodes, 4> kCodes{{{0, 1}, {2, 4}, {8, 16}, {18, 20}}};
  const std::uint32_t channels = TraitsOf(kind).axisChannels;
  if (channel >= channels) {
    return std::nullopt;
  }
  const bool knownSlot = slotType >= kSlotBrake && slotType <= kSlotHandbrake;
  const std::size_t last = channels - 1;
  return kCodes[knownSlot ? std::min<std::size_t>(slotType - kSlotBrake, last) : last];
}

}  // namespace Quorvane::Device
