#include "center/calibration/calibration_command.h"

#include "center/device/live_data.h"

namespace Quorvane::Calibration {

bool SendCalibrationCommand(Device::HidBackend& backend, const Device::QuorvaneDevice& row,
                            CalibrationKind kind, std::uint32_t parameter) {
  if (kind == CalibrationKind::Maximum) {
    return Device::SendCalibrateMaximum(backend, row);
  }
  return Device::SendCalibrationMinimum(backend, row, parameter);
}

}  // namespace Quorvane::Calibration
