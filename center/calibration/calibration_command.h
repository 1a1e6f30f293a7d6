// The command a calibration kind sends to a row's controller.
#pragma once

#include <cstdint>

#include "center/calibration/calibration_session.h"
#include "center/device/hid_backend.h"
#include "center/device/quorvane_device.h"

namespace Quorvane::Calibration {

// The maximum sends the calibrate-maximum command; both minimums the set-minimum command with the
// parameter. False when nothing could be sent (see Device::SendCalibrationMinimum).
bool SendCalibrationCommand(Device::HidBackend& backend, const Device::QuorvaneDevice& row,
                            CalibrationKind kind, std::uint32_t parameter);

}  // namespace Quorvane::Calibration
