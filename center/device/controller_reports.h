// The controllers' HID reports: input report ids and layouts, how their bytes are read, and the
// two output reports the center sends (calibration command and reset to bootloader).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace Quorvane::Device {

inline constexpr std::uint8_t kIdentityReportId = 0x40;     // '@'
inline constexpr std::uint8_t kValueReportId = 0x41;        // 'A'
inline constexpr std::uint8_t kRawReportId = 0x42;          // 'B'
inline constexpr std::uint8_t kCalibrationReportId = 0x43;  // 'C'
inline constexpr std::uint8_t kReportDId = 0x44;            // 'D'
inline constexpr std::uint8_t kButtonMapReportId = 0x45;    // 'E'
inline constexpr std::uint8_t kReportFId = 0x46;            // 'F'
inline constexpr std::uint8_t kCalibrationCommandReportId = 0x10;
inline constexpr std::uint8_t kResetReportId = 0x30;  // '0'

inline constexpr std::size_t kInputReportBufferSize = 512;
inline constexpr std::size_t kOutputReportLength = 63;
inline constexpr std::size_t kBlockSize = 63;
inline constexpr std::size_t kIdentityReportSize = 54;
inline constexpr std::size_t kButtonMapReportSize = 33;
inline constexpr std::size_t kAxisSlots = 7;
inline constexpr std::size_t kButtonSlots = 32;

using ReportBlock = std::array<std::uint8_t, kBlockSize>;  // data bytes 1..63 of a report
using IdentityReport = std::array<std::uint8_t, kIdentityReportSize>;
using ButtonMapReport = std::array<std::uint8_t, kButtonMapReportSize>;
using OutputReport = std::array<std::uint8_t, kOutputReportLength>;

// Axis slot types of the identity report.
enum SlotType : std::uint8_t {
  kSlotUnused = 0,
  kSlotBrake = 1,
  kSlotAccelerator = 2,
  kSlotClutch = 3,
  kSlotHandbrake = 4,
  kSlotButtons = 5,
};

// Fields of the identity report.
std::string FirmwareName(const IdentityReport& identity);     // bytes 1.. up to the first zero
bool HasScrambledBootloader(const IdentityReport& identity);  // bytes 26..33 are "QV77 BL\0"
inline std::uint8_t Family(const IdentityReport& identity) { return identity[43]; }
inline std::uint8_t Configuration(const IdentityReport& identity) { return identity[44]; }
inline std::uint8_t FirmwareMajor(const IdentityReport& identity) { return identity[45]; }
inline std::uint8_t FirmwareMinor(const IdentityReport& identity) { return identity[46]; }
// The type of axis slot 1..7; 0 for a slot number outside that range.
std::uint8_t AxisSlotType(const IdentityReport& identity, std::size_t slot);

// The little-endian 32-bit value at `index` of a block read as such values (0 beyond its end).
std::uint32_t BlockValue(const ReportBlock& block, std::size_t index);

// Output report 0x10: code at byte 1, the parameter little-endian at bytes 2..5.
OutputReport MakeCalibrationCommandReport(std::uint8_t code, std::uint32_t parameter);
// Output report 0x30 with the bootloader unlock sequence.
OutputReport MakeResetReport();

// A set-minimum parameter that means "take the present reading as the minimum".
inline constexpr std::uint32_t kTakePresentReading = 0xFFFFFFFF;

}  // namespace Quorvane::Device
