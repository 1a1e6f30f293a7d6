// A small parser of HID report descriptors: finds the logical range of the first input value
// item (an input that is variable, not constant and wider than one bit), the way the system's
// value capabilities list them first.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "center/device/hid_backend.h"

namespace Quorvane::Device {

// Empty when the descriptor has no input value item or is cut off before one.
std::optional<LogicalRange> FirstInputValueRange(std::span<const std::uint8_t> descriptor);

}  // namespace Quorvane::Device
