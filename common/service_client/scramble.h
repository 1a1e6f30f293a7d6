// The one-byte scrambling of firmware image files and of the center's service fields.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace Quorvane::Service {

// 64 bytes: the first 16 are the controller's reset unlock sequence.
extern const std::array<std::uint8_t, 64> kScrambleKeyTable;
inline constexpr std::uint8_t kScrambleOutputMask = 0xA9;

// The sixteen bytes the reset report carries to unlock the bootloader.
std::array<std::uint8_t, 16> ResetUnlockSequence();

// The exclusive-or of all 64 key table bytes.
std::uint8_t ScrambleKey();

// rotate-left-3(b XOR key) XOR mask
std::uint8_t ScrambleByte(std::uint8_t value);
// rotate-right-3(b XOR mask) XOR key; the inverse of ScrambleByte
std::uint8_t UnscrambleByte(std::uint8_t value);

// Each byte through ScrambleByte / UnscrambleByte.
std::string ScrambleBytes(std::string_view bytes);
std::string UnscrambleBytes(std::string_view bytes);
// The same in place, for large blocks.
void ScrambleInPlace(std::string& bytes);
void UnscrambleInPlace(std::string& bytes);

}  // namespace Quorvane::Service
