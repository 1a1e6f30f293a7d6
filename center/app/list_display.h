// The lines of the controller list as the window shows them: one line per row of the device
// list, with its marker, texts and value bar. Built from the rows under the list lock; the
// window keeps the copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "center/device/quorvane_device.h"
#include "common/ui/colour_cycle.h"

namespace Quorvane::Center {

// Said of a controller that is there but answers no report (stalled firmware, a cable fault),
// and what to do about it.
inline constexpr const char* kNotAnswering = "not answering";
inline constexpr const char* kNotAnsweringAdvice = "unplug it and plug it in again";

// What is drawn at the start of a line.
enum class LineMarker {
  Device,  // "+": the device bitmap
  Brake,   // "r", "g", "y", "l": a square in the slot type's colour
  Accelerator,
  Clutch,
  Handbrake,
  Button,  // "b": the button bitmap, indented
  Other,   // "?": nothing
};

struct ListLine {
  LineMarker marker = LineMarker::Other;
  std::string name;      // column 0 without its marker
  std::string serial;    // column 2 (device lines)
  std::string firmware;  // column 3 (device lines): "v" + major + "." + minor
  bool hasValueBar = false;
  std::int32_t minimum = 0;  // the bar's range: the row's logical range
  std::int32_t maximum = 0;
  std::uint32_t value = 0;
  Ui::Rgb barColour{0, 0, 255};
};

// One line per row, in list order: a row whose path differs from the row before it is its
// controller's device line, every other row a channel or button line with a value bar.
std::vector<ListLine> BuildListLines(const std::vector<Device::QuorvaneDevice>& rows);

// The marker of a channel or button row.
LineMarker MarkerOf(const Device::QuorvaneDevice& row);

// The square's colour of a coloured marker; blue for every other marker (the bar colour).
Ui::Rgb MarkerColour(LineMarker marker);

// The bar's filled share, 0..1, of a value within the range; 0 for an empty range.
double BarFraction(std::uint32_t value, std::int32_t minimum, std::int32_t maximum);

}  // namespace Quorvane::Center
