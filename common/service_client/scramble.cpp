#include "common/service_client/scramble.h"

#include <algorithm>

namespace Quorvane::Service {

const std::array<std::uint8_t, 64> kScrambleKeyTable{
    // the reset unlock sequence
    0x5C, 0x17, 0xE2, 0x09, 0xA4, 0x3B, 0x70, 0xD8, 0x91, 0x2E, 0xC6, 0x0F, 0x48, 0xB3, 0x6A, 0x1D,
    // the rest of the key, shared with the service and the bootloader
    0x23, 0xFD, 0x3C, 0xC2, 0xE5, 0x1B, 0x66, 0x7A, 0xE4, 0x7A, 0x5E, 0x93, 0x81, 0x10, 0xAD, 0xC7,
    0x6F, 0xB5, 0x83, 0x89, 0xAC, 0x52, 0xA9, 0x95, 0x2D, 0xBC, 0x79, 0x5A, 0xE5, 0x5D, 0x04, 0xD3,
    0xCE, 0x2B, 0xD0, 0xE6, 0x9E, 0x20, 0x48, 0x10, 0x57, 0xDF, 0xEA, 0xF6, 0x7D, 0xD2, 0xFA, 0xF7};

namespace {

constexpr std::uint8_t RotateLeft3(std::uint8_t value) {
  return static_cast<std::uint8_t>((value << 3) | (value >> 5));
}

constexpr std::uint8_t RotateRight3(std::uint8_t value) {
  return static_cast<std::uint8_t>((value >> 3) | (value << 5));
}

// Both directions as 256-entry tables, built once: the image files and Base64 fields run every
// byte through them.
struct ScrambleTables {
  std::array<std::uint8_t, 256> scramble{};
  std::array<std::uint8_t, 256> unscramble{};
  ScrambleTables() {
    const std::uint8_t key = ScrambleKey();
    for (unsigned value = 0; value < 256; ++value) {
      const auto byte = static_cast<std::uint8_t>(value);
      scramble[value] = RotateLeft3(static_cast<std::uint8_t>(byte ^ key)) ^ kScrambleOutputMask;
      unscramble[value] = RotateRight3(static_cast<std::uint8_t>(byte ^ kScrambleOutputMask)) ^ key;
    }
  }
};

const ScrambleTables& Tables() {
  static const ScrambleTables tables;
  return tables;
}

void TranslateInPlace(std::string& bytes, const std::array<std::uint8_t, 256>& table) {
  for (char& byte : bytes) {
    byte = static_cast<char>(table[static_cast<std::uint8_t>(byte)]);
  }
}

}  // namespace

std::array<std::uint8_t, 16> ResetUnlockSequence() {
  std::array<std::uint8_t, 16> sequence{};
  std::copy_n(kScrambleKeyTable.begin(), sequence.size(), sequence.begin());
  return sequence;
}

std::uint8_t ScrambleKey() {
  std::uint8_t key = 0;
  for (const std::uint8_t byte : kScrambleKeyTable) {
    key ^= byte;
  }
  return key;
}

std::uint8_t ScrambleByte(std::uint8_t value) { return Tables().scramble[value]; }

std::uint8_t UnscrambleByte(std::uint8_t value) { return Tables().unscramble[value]; }

void ScrambleInPlace(std::string& bytes) { TranslateInPlace(bytes, Tables().scramble); }

void UnscrambleInPlace(std::string& bytes) { TranslateInPlace(bytes, Tables().unscramble); }

std::string ScrambleBytes(std::string_view bytes) {
  std::string out(bytes);
  ScrambleInPlace(out);
  return out;
}

std::string UnscrambleBytes(std::string_view bytes) {
  std::string out(bytes);
  UnscrambleInPlace(out);
  return out;
}

}  // namespace Quorvane::Service
