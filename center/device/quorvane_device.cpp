#include "center/device/quorvane_device.h"

#include <algorithm>

namespace Quorvane::Device {

QuorvaneDevice::QuorvaneDevice() : lookup_(std::make_shared<FirmwareLookup>()) {}

QuorvaneDevice::QuorvaneDevice(const QuorvaneDevice& other)
    : buttonChannels(other.buttonChannels),
      vendorId(other.vendorId),
      productId(other.productId),
      manufacturer(other.manufacturer),
      product(other.product),
      serialNumber(other.serialNumber),
      devicePath(other.devicePath),
      currentValue(other.currentValue),
      answering(other.answering),
      valueBar(other.valueBar),
      valueBarParent(other.valueBarParent),
      logicalMinimum(other.logicalMinimum),
      logicalMaximum(other.logicalMaximum),
      channelName(other.channelName),
      namedChannelIndex(other.namedChannelIndex),
      isButton(other.isButton),
      buttonSlotNumber(other.buttonSlotNumber),
      axisSlotNumber(other.axisSlotNumber),
      reportD(other.reportD),
      reportC(other.reportC),
      reportB(other.reportB),
      reportA(other.reportA),
      identityReport(other.identityReport),
      buttonMapReport(other.buttonMapReport),
      reportF(other.reportF),
      kind(other.kind),
      channelIndex(other.channelIndex),
      channelNames(other.channelNames),
      pendingFirmware(other.pendingFirmware),
      identified(other.identified),
      updateFirmwareEnabled(other.updateFirmwareEnabled),
      buttonsSlot(other.buttonsSlot),
      hasButtonsSlot(other.hasButtonsSlot),
      firmwareIdentityOverride(other.firmwareIdentityOverride),
      firmwareUpdateAvailable(other.firmwareUpdateAvailable),
      lookup_(std::make_shared<FirmwareLookup>(other.lookup_->Available())) {}

QuorvaneDevice& QuorvaneDevice::operator=(const QuorvaneDevice& other) {
  if (this != &other) {
    QuorvaneDevice copy(other);
    *this = std::move(copy);
  }
  return *this;
}

bool QuorvaneDevice::operator==(const QuorvaneDevice& other) const {
  return devicePath == other.devicePath && product == other.product &&
         manufacturer == other.manufacturer && serialNumber == other.serialNumber;
}

bool QuorvaneDevice::IsButtonRow() const {
  return std::find(buttonChannels.begin(), buttonChannels.end(), channelIndex) !=
         buttonChannels.end();
}

std::uint32_t QuorvaneDevice::PresentRawReading() const {
  return channelIndex < kAxisSlots ? BlockValue(reportB, channelIndex) : 0;
}

std::uint32_t QuorvaneDevice::PresentCalibrationMinimum() const {
  return channelIndex < kAxisSlots ? BlockValue(reportC, 2u * channelIndex) : 0;
}

std::uint32_t QuorvaneDevice::PresentCalibrationMaximum() const {
  return channelIndex < kAxisSlots ? BlockValue(reportC, 2u * channelIndex + 1) : 0;
}

std::optional<std::uint32_t> DecodeLiveValue(const QuorvaneDevice& row) {
  if (row.IsButtonRow()) {
    if (row.buttonSlotNumber < 1 || row.buttonSlotNumber > kButtonSlots) {
      return std::nullopt;
    }
    const std::uint32_t mask = 1u << (row.buttonSlotNumber - 1);
    const bool pressed =
        row.hasButtonsSlot && (BlockValue(row.reportA, row.buttonsSlot) & mask) != 0;
    return pressed ? static_cast<std::uint32_t>(row.logicalMaximum) : 0u;
  }
  if (row.axisSlotNumber < 1 || row.axisSlotNumber > kAxisSlots) {
    return std::nullopt;
  }
  return BlockValue(row.reportA, row.axisSlotNumber - 1);
}

}  // namespace Quorvane::Device
