#include "center/app/list_display.h"

#include <algorithm>

namespace Quorvane::Center {

LineMarker MarkerOf(const Device::QuorvaneDevice& row) {
  if (row.IsButtonRow()) {
    return LineMarker::Button;
  }
  switch (row.ChannelSlotType()) {
    case Device::kSlotBrake:
      return LineMarker::Brake;
    case Device::kSlotAccelerator:
      return LineMarker::Accelerator;
    case Device::kSlotClutch:
      return LineMarker::Clutch;
    case Device::kSlotHandbrake:
      return LineMarker::Handbrake;
    default:
      return LineMarker::Other;
  }
}

Ui::Rgb MarkerColour(LineMarker marker) {
  switch (marker) {
    case LineMarker::Brake:
      return Ui::kColourTable[0];
    case LineMarker::Accelerator:
      return Ui::kColourTable[1];
    case LineMarker::Clutch:
      return Ui::kColourTable[2];
    case LineMarker::Handbrake:
      return Ui::kColourTable[3];
    default:
      return Ui::kColourTable[4];
  }
}

std::vector<ListLine> BuildListLines(const std::vector<Device::QuorvaneDevice>& rows) {
  std::vector<ListLine> lines;
  lines.reserve(rows.size());
  for (std::size_t index = 0; index < rows.size(); ++index) {
    const Device::QuorvaneDevice& row = rows[index];
    ListLine line;
    if (index == 0 || row.devicePath != rows[index - 1].devicePath) {
      line.marker = LineMarker::Device;
      line.name = row.answering ? row.product : row.product + " (" + kNotAnswering + ")";
      line.serial = row.serialNumber;
      // A controller that never answered has no firmware to tell.
      line.firmware = row.identified
                          ? "v" + std::to_string(Device::FirmwareMajor(row.identityReport)) + "." +
                                std::to_string(Device::FirmwareMinor(row.identityReport))
                          : std::string();
    } else {
      line.marker = MarkerOf(row);
      line.name = row.channelName;
      line.hasValueBar = true;
      line.minimum = row.logicalMinimum;
      line.maximum = row.logicalMaximum;
      line.value = row.currentValue;
      line.barColour = MarkerColour(line.marker);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

double BarFraction(std::uint32_t value, std::int32_t minimum, std::int32_t maximum) {
  if (maximum <= minimum) {
    return 0.0;
  }
  // Values arrive as unsigned report words; a range with a negative minimum reads them signed.
  const double reading = minimum < 0 ? static_cast<double>(static_cast<std::int32_t>(value))
                                     : static_cast<double>(value);
  const double fraction = (reading - minimum) / (static_cast<double>(maximum) - minimum);
  return std::clamp(fraction, 0.0, 1.0);
}

}  // namespace Quorvane::Center
