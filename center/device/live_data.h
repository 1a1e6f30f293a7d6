// Talking to one controller: reading its live reports into a row, and sending calibration and
// reset commands. Each operation opens the device, does its requests and closes it again.
#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <vector>

#include "center/device/device_list.h"
#include "center/device/hid_backend.h"
#include "center/device/quorvane_device.h"

namespace Quorvane::Device {

// Fills the row's D, C, B, A blocks (cleared first) and its F block (kept when its request
// fails) from reports 0x41, 0x42, 0x43, 0x44, 0x46. Does nothing when the device cannot be
// opened; never throws. A controller that does not answer the value report is asked nothing more
// this time and its row is marked as not answering. The row is one nobody else sees (a copy).
void ReadLiveReports(HidBackend& backend, QuorvaneDevice& row);

// Sends the set-minimum command for the row's channel (kTakePresentReading: the present
// reading). False when the command table does not cover the row (a button row, a channel beyond
// the controller's axes, an unrecognised controller): nothing is sent then, since code 0 would
// reset another channel's minimum. False too when the device cannot be opened or the request
// fails.
bool SendCalibrationMinimum(HidBackend& backend, const QuorvaneDevice& row,
                            std::uint32_t parameter);
// The same for the calibrate-maximum command.
bool SendCalibrateMaximum(HidBackend& backend, const QuorvaneDevice& row);

// Sends the reset report that restarts the controller into its serial bootloader.
bool SendResetToBootloader(HidBackend& backend, const QuorvaneDevice& row);

}  // namespace Quorvane::Device

namespace Quorvane::Device {

// A row is its controller's source of live reports when it is its controller's first row (the
// device line: the rows of a controller follow each other and share its path).
bool IsLiveSourceRow(const std::vector<QuorvaneDevice>& rows, std::size_t index);

// One pass of the live display over the list: each controller's reports are read once, on a
// copy of its source row taken under the list lock, and the list lock is not held while they are
// read, so a controller that does not answer holds up nobody but this pass (not the window, not
// Ctrl-C). Under the list lock again, they are copied to the rows of the same controller (a list
// replaced meanwhile gets its values at the next pass) and every row's value is decoded.
// `show(index, value)` is called for each row whose value is to be shown: a button row whose
// value did not change, and an axis row without a valid slot, are left out. The row's current
// value is updated before `show` is called, with the list lock held. True when a controller
// stopped or started answering (the list display shows which do not).
template <typename Show>
bool ReadLivePass(HidBackend& backend, DeviceList& list, Show show) {
  std::vector<QuorvaneDevice> sources;
  {
    std::lock_guard lock(list.listLock);
    for (std::size_t index = 0; index < list.rows.size(); ++index) {
      if (IsLiveSourceRow(list.rows, index)) sources.push_back(list.rows[index]);
    }
  }
  for (auto& source : sources) {
    ReadLiveReports(backend, source);
  }
  std::lock_guard lock(list.listLock);
  std::lock_guard ioLock(list.ioLock);
  auto& rows = list.rows;
  bool answeringChanged = false;
  const QuorvaneDevice* source = nullptr;
  for (std::size_t index = 0; index < rows.size(); ++index) {
    QuorvaneDevice& row = rows[index];
    if (IsLiveSourceRow(rows, index)) {
      const auto read = std::find_if(
          sources.begin(), sources.end(),
          [&](const QuorvaneDevice& taken) { return taken.devicePath == row.devicePath; });
      source = read != sources.end() ? &*read : nullptr;
    }
    if (source == nullptr) {
      continue;  // a controller that came after the reads
    }
    row.reportD = source->reportD;
    row.reportC = source->reportC;
    row.reportB = source->reportB;
    row.reportA = source->reportA;
    row.reportF = source->reportF;
    answeringChanged = answeringChanged || row.answering != source->answering;
    row.answering = source->answering;
    const auto value = DecodeLiveValue(row);
    if (!value || (row.IsButtonRow() && *value == row.currentValue)) {
      continue;
    }
    row.currentValue = *value;
    show(index, *value);
  }
  return answeringChanged;
}

}  // namespace Quorvane::Device
