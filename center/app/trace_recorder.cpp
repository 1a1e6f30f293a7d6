#include "center/app/trace_recorder.h"

#include <algorithm>

#include "center/app/list_display.h"

namespace Quorvane::Center {

TraceRecorder::TraceRecorder(const Device::QuorvaneDevice& row)
    : devicePath_(row.devicePath), serial_(row.serialNumber) {}

bool TraceRecorder::Feed(const std::vector<Device::QuorvaneDevice>& rows,
                         std::chrono::milliseconds now) {
  std::vector<const Device::QuorvaneDevice*> cells;
  std::vector<const Device::QuorvaneDevice*> buttons;
  for (std::size_t index = 0; index < rows.size(); ++index) {
    const auto& row = rows[index];
    if (row.devicePath != devicePath_ || Device::IsParentRow(rows, index)) continue;
    (row.isButton ? buttons : cells).push_back(&row);
  }
  left_ = cells.empty();
  if (left_) return false;
  if (buttons_.size() != buttons.size()) {
    buttons_.clear();
    for (const auto* button : buttons) buttons_.push_back({button->channelName, {}});
  }
  for (std::size_t index = 0; index < buttons.size(); ++index) {
    auto& pressed = buttons_[index].pressed;
    if (buttons[index]->currentValue != 0) pressed.push_back(now);
    while (!pressed.empty() && now - pressed.front() > kSpan) pressed.pop_front();
  }
  if (channels_.size() != cells.size()) {  // the first pass, or the controller came back changed
    channels_.clear();
    for (const auto* cell : cells) {
      channels_.push_back({cell->channelName,
                           MarkerColour(MarkerOf(*cell)),
                           {},
                           {cell->PresentCalibrationMinimum(), cell->PresentCalibrationMaximum()}});
    }
  }
  for (std::size_t index = 0; index < cells.size(); ++index) {
    const auto& cell = *cells[index];
    auto& channel = channels_[index];
    const std::uint32_t raw = cell.PresentRawReading();
    channel.meter.Add(now, raw);
    channel.shares.emplace_back(
        now, BarFraction(raw, static_cast<std::int32_t>(cell.PresentCalibrationMinimum()),
                         static_cast<std::int32_t>(cell.PresentCalibrationMaximum())));
    while (now - channel.shares.front().first > kSpan) channel.shares.pop_front();
  }
  return true;
}

}  // namespace Quorvane::Center
