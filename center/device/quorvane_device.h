// One row of the center's controller list: a device line or one channel or button of a
// controller, with the identity and live report bytes it was read with.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "center/device/controller_kind.h"
#include "center/device/controller_reports.h"
#include "center/device/firmware_lookup.h"

namespace Quorvane::Device {

// Seven axis slots and thirty-two buttons: every channel a controller can name.
inline constexpr std::size_t kChannelNameCount = kAxisSlots + kButtonSlots;

// The firmware the Update Firmware command flashes: the newest of the row's list above the
// version the controller runs. Its image is fetched when the update starts.
struct PendingFirmware {
  std::array<std::uint32_t, 4> version{};  // major, minor, build, revision
  std::optional<Service::FirmwareEntry> entry;
};

class QuorvaneDevice {
 public:
  QuorvaneDevice();
  // Copies every field but the lookup state: a copy starts with no lookup running.
  QuorvaneDevice(const QuorvaneDevice& other);
  QuorvaneDevice& operator=(const QuorvaneDevice& other);
  // A moved-from row may only be assigned to or destroyed.
  QuorvaneDevice(QuorvaneDevice&&) noexcept = default;
  QuorvaneDevice& operator=(QuorvaneDevice&&) noexcept = default;
  ~QuorvaneDevice() = default;

  // Same path, product, manufacturer and serial; channel indexes are not compared.
  bool operator==(const QuorvaneDevice& other) const;

  // The row shows a button: its channel index is one of the controller's button channels.
  bool IsButtonRow() const;

  // Calibration readings of the row's channel (0 for a channel index above 6).
  std::uint32_t PresentRawReading() const;
  std::uint32_t PresentCalibrationMinimum() const;
  std::uint32_t PresentCalibrationMaximum() const;

  // The type byte of the axis slot of the row's channel (channel + 1).
  std::uint8_t ChannelSlotType() const { return AxisSlotType(identityReport, channelIndex + 1u); }

  FirmwareLookup& Lookup() const { return *lookup_; }
  std::shared_ptr<FirmwareLookup> SharedLookup() const { return lookup_; }
  std::vector<Service::FirmwareEntry> AvailableFirmwares() const { return lookup_->Available(); }

  std::vector<std::uint32_t> buttonChannels;
  std::uint16_t vendorId = 0;
  std::uint16_t productId = 0;
  std::string manufacturer;
  std::string product;
  std::string serialNumber;
  std::string devicePath;
  std::uint32_t currentValue = 0;
  // Whether the controller answered the last report request (a stalled one does not).
  bool answering = true;
  std::uintptr_t valueBar = 0;  // the view's value bar of this row; 0 when none
  std::uintptr_t valueBarParent = 0;
  std::int32_t logicalMinimum = 0;
  std::int32_t logicalMaximum = 0;
  std::string channelName;
  std::uint32_t namedChannelIndex = 0;  // equal to channelIndex once the row is named
  bool isButton = false;
  std::uint32_t buttonSlotNumber = 0;  // 1..32 on button rows
  std::uint32_t axisSlotNumber = 0;    // 1..7 on axis rows
  ReportBlock reportD{};
  ReportBlock reportC{};
  ReportBlock reportB{};
  ReportBlock reportA{};
  IdentityReport identityReport{};
  ButtonMapReport buttonMapReport{};
  ReportBlock reportF{};
  ControllerKind kind = ControllerKind::Unrecognised;
  std::uint16_t channelIndex = 0;
  std::array<std::string, kChannelNameCount> channelNames;
  PendingFirmware pendingFirmware;
  bool identified = false;
  std::uint32_t updateFirmwareEnabled = 0;  // enables the Update Firmware command
  std::uint16_t buttonsSlot = 0;            // index 0..6 of the axis slot of type Buttons
  bool hasButtonsSlot = false;              // without one, no button is ever pressed
  std::string firmwareIdentityOverride;
  bool firmwareUpdateAvailable = false;

 private:
  std::shared_ptr<FirmwareLookup> lookup_;
};

// The live value a row shows: the buttons slot's bit for a button row (logical maximum when
// pressed, else 0; always 0 for a controller without a buttons slot), the axis slot's value for
// an axis row; nothing for an axis row whose slot number is not 1..7.
std::optional<std::uint32_t> DecodeLiveValue(const QuorvaneDevice& row);

}  // namespace Quorvane::Device
