#include "center/firmware/pending_firmware.h"

#include <array>

namespace Quorvane::Firmware {
namespace {

std::array<std::uint32_t, 4> VersionOf(const Service::FirmwareEntry& entry) {
  return {entry.versionMajor, entry.versionMinor, entry.versionBuild, entry.versionRevision};
}

}  // namespace

std::optional<Service::FirmwareEntry> NewerFirmware(const Device::QuorvaneDevice& row) {
  const std::array<std::uint32_t, 4> running{Device::FirmwareMajor(row.identityReport),
                                             Device::FirmwareMinor(row.identityReport), 0, 0};
  std::optional<Service::FirmwareEntry> newest;
  for (const auto& entry : row.AvailableFirmwares()) {
    if (VersionOf(entry) > running && (!newest || VersionOf(entry) > VersionOf(*newest))) {
      newest = entry;
    }
  }
  return newest;
}

void MarkPendingFirmware(Device::QuorvaneDevice& row) {
  const auto newer = NewerFirmware(row);
  row.firmwareUpdateAvailable = newer.has_value();
  row.pendingFirmware = {};
  if (newer) {
    row.pendingFirmware.version = VersionOf(*newer);
    row.pendingFirmware.entry = newer;
  }
}

}  // namespace Quorvane::Firmware
