// The center's ordered list of controller rows and the locks that guard it. Lock order: the
// list lock first, then either the enumeration lock (enumeration) or the device I/O lock (a
// poll pass, the calibration dialog); no other lock is held while one of these is taken.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "center/device/quorvane_device.h"

namespace Quorvane::Device {

struct DeviceList {
  std::vector<QuorvaneDevice> rows;
  // Controllers the last enumeration found but may not open (permission denied), by path: the
  // user is told they are there and what to do, not that none is connected.
  std::vector<std::string> deniedPaths;
  std::mutex listLock;         // the rows: enumeration, each poll pass, the list display
  std::mutex enumerationLock;  // taken inside the list lock by enumeration only
  std::mutex ioLock;           // a row's report blocks
};

// A row is the device line of its controller when the next row has the same path and the same
// channel index.
bool IsParentRow(const std::vector<QuorvaneDevice>& rows, std::size_t index);

}  // namespace Quorvane::Device
