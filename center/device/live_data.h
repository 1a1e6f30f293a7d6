// Talking to one controller: reading its live reports into a row, and sending calibration and
// reset commands. Each operation opens the device, does its requests and closes it again.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "center/device/hid_backend.h"
#include "center/device/quorvane_device.h"

namespace Quorvane::Device {

// Fills the row's D, C, B, A blocks (cleared first) and its F block (kept when its request
// fails) from reports 0x41, 0x42, 0x43, 0x44, 0x46, under the device I/O lock. Does nothing
// when the device cannot be opened; never throws.
void ReadLiveData(HidBackend& backend, QuorvaneDevice& row, std::mutex& ioLock);

// Sends the set-minimum command for the row's channel (kTakePresentReading: the present
// reading). False when the command table does not cover the row (a button row, a channel beyond
// the controller's axes, an unrecognised controller): nothing is sent then, since code 0 would
// reset another channel's minimum. False too when the device cannot be opened or the request
// fails.
bool SendCalibrationMinimum(HidBackend& backend, const QuorvaneDevice& row, std::uint32_t parameter);
// The same for the calibrate-maximum command.
bool SendCalibrateMaximum(HidBackend& backend, const QuorvaneDevice& row);

// Sends the reset report that restarts the controller into its serial bootloader.
bool SendResetToBootloader(HidBackend& backend, const QuorvaneDevice& row);

}  // namespace Quorvane::Device

namespace Quorvane::Device {

// A row is its controller's source of live reports when it is its controller's first row (the
// device line: the rows of a controller follow each other and share its path).
bool IsLiveSourceRow(const std::vector<QuorvaneDevice>& rows, std::size_t index);

// One pass of the live display over the rows (the caller holds the list lock): each
// controller's reports are read once, on its source row, and copied to its other rows; every
// row's value is decoded. `show(index, value)` is called for each row whose value is to be
// shown: a button row whose value did not change, and an axis row without a valid slot, are
// left out. The row's current value is updated before `show` is called.
template <typename Show>
void ReadLivePass(HidBackend& backend, std::vector<QuorvaneDevice>& rows, std::mutex& ioLock,
                  Show show) {
  const QuorvaneDevice* source = nullptr;
  for (std::size_t index = 0; index < rows.size(); ++index) {
    QuorvaneDevice& row = rows[index];
    if (IsLiveSourceRow(rows, index)) {
      ReadLiveData(backend, row, ioLock);
      source = &row;
    } else if (source != nullptr) {
      row.reportD = source->reportD;
      row.reportC = source->reportC;
      row.reportB = source->reportB;
      row.reportA = source->reportA;
    }
    const auto value = DecodeLiveValue(row);
    if (!value || (row.IsButtonRow() && *value == row.currentValue)) {
      continue;
    }
    row.currentValue = *value;
    show(index, *value);
  }
}

}  // namespace Quorvane::Device
