// New identifiers in the braced GUID text form.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace Quorvane::Platform {

// "{XXXXXXXX-XXXX-xxxx-XXXX-XXXXXXXXXXXX}" of the 16 bytes: the first field as a little-endian
// 32-bit number, two little-endian 16-bit numbers (the second in lower case) and eight bytes.
std::string FormatGuidText(const std::array<std::uint8_t, 16>& bytes);

// A new random (version 4) GUID text from the kernel's random source; empty on failure.
std::string MakeGuidText();

}  // namespace Quorvane::Platform
