// The center's ordered list of controller rows and the locks that guard it. Lock order: the
// enumeration lock (held by enumeration alone, while it talks to the controllers) before the
// list lock, and the list lock before the device I/O lock (a poll pass applying what it read,
// the calibration dialog). No thread waits on a device while it holds the list or I/O lock.
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
  std::mutex enumerationLock;  // enumeration only, before the list lock
  std::mutex ioLock;           // a row's report blocks
};

// A row is the device line of its controller when the next row has the same path and the same
// channel index.
bool IsParentRow(const std::vector<QuorvaneDevice>& rows, std::size_t index);

}  // namespace Quorvane::Device
