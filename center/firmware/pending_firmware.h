// Which firmware a controller could be updated to: the newest one its list offers above the
// version it runs. The Update Firmware command is enabled for a row that has one.
#pragma once

#include <optional>

#include "center/device/quorvane_device.h"
#include "common/service_client/records.h"

namespace Quorvane::Firmware {

// The newest entry of the row's list whose version (major, minor, build, revision) is above the
// controller's (its identity's major and minor); none when the list has no newer one.
std::optional<Service::FirmwareEntry> NewerFirmware(const Device::QuorvaneDevice& row);

// Sets the row's firmware-update flag and pending firmware from its present list.
void MarkPendingFirmware(Device::QuorvaneDevice& row);

}  // namespace Quorvane::Firmware
