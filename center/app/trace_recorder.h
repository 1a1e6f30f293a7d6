// What the trace view shows of one controller: each load cell's readings over the last ten
// seconds, as shares of its calibrated range, in the channel's colour, with the cell's health;
// and when each of its buttons was pressed, for marks.
// Fed with copies of the list's rows after each poll pass; the controller is followed by its
// device path and is said to have left when no row of it is there.
#pragma once

#include <chrono>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "center/device/channel_health.h"
#include "center/device/device_list.h"
#include "center/device/quorvane_device.h"
#include "common/ui/colour_cycle.h"

namespace Quorvane::Center {

class TraceRecorder {
 public:
  static constexpr std::chrono::milliseconds kSpan{10000};

  struct Channel {
    std::string name;
    Ui::Rgb colour;
    std::deque<std::pair<std::chrono::milliseconds, double>> shares;  // oldest first
    Device::ChannelHealthMeter meter;
  };

  struct Button {
    std::string name;
    std::deque<std::chrono::milliseconds> pressed;  // the moments it was seen pressed
  };

  // The controller of `row` (any of its rows).
  explicit TraceRecorder(const Device::QuorvaneDevice& row);

  // The rows of one pass at `now`; false once the controller is gone (its channels then keep
  // what they had).
  bool Feed(const std::vector<Device::QuorvaneDevice>& rows, std::chrono::milliseconds now);

  const std::string& Serial() const { return serial_; }
  const std::string& DevicePath() const { return devicePath_; }
  const std::vector<Channel>& Channels() const { return channels_; }
  const std::vector<Button>& Buttons() const { return buttons_; }
  bool Left() const { return left_; }

 private:
  std::string devicePath_;
  std::string serial_;
  std::vector<Channel> channels_;
  std::vector<Button> buttons_;
  bool left_ = false;
};

}  // namespace Quorvane::Center
