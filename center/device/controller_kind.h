// The kinds of controller the center knows and what each kind has. A new kind is one value of
// ControllerKind, one row of the table in controller_kind.cpp, and its case in ControllerKindOf.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "center/device/controller_reports.h"

namespace Quorvane::Device {

enum class ControllerKind : std::uint8_t {
  Unrecognised,
  LegacyHx,  // an HX load cell with firmware up to major version 3
  Hx,
  Single,
  Dual,
  Triple,
  Quad,
};

struct ControllerKindTraits {
  const char* name;            // as the companion prints it
  std::uint32_t axisChannels;  // load cells, channels 0..n-1 (calibrated, shown as rows)
  bool showsButtons;           // its button slots are shown as rows after the axes
  // The firmware lookup's words for the controller, "Quorvane Dual Controller (Dual)"; none
  // for a kind the lookup does not know.
  const char* lookupTitle;
};

const ControllerKindTraits& TraitsOf(ControllerKind kind);

// The kind from the identity report's family, configuration and major version.
ControllerKind ControllerKindOf(const IdentityReport& identity);

// The set-minimum and calibrate-maximum command codes for a channel of a controller kind, or
// nothing when the command table does not cover that channel.
struct CalibrationCodes {
  std::uint8_t setMinimum;
  std::uint8_t calibrateMaximum;
};
std::optional<CalibrationCodes> CalibrationCodesFor(ControllerKind kind, std::uint32_t channel,
                                                    std::uint8_t slotType);

}  // namespace Quorvane::Device
