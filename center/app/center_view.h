// What the center's core tells its window. The window implements it (on its own thread through
// queued calls); tests record the calls. Every call may come from the poll thread or a worker.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "center/device/quorvane_device.h"

namespace Quorvane::Center {

enum class RibbonSelection { None, ButtonRow, Row };

class CenterView {
 public:
  virtual ~CenterView() = default;
  // The device list was replaced: rebuild the list display (returns when done).
  virtual void DeviceListChanged() = 0;
  // The list display should be rebuilt from the present list.
  virtual void RebuildListDisplay() = 0;
  // The rows are about to be replaced: drop their value bars (called under the list lock).
  virtual void DropValueBars(std::vector<Device::QuorvaneDevice>& rows) = 0;
  // A status bar part (0..2) shows this text.
  virtual void SetStatusText(int part, const std::string& text) = 0;
  // The value bar of the row shows this value.
  virtual void SetValueBar(std::size_t row, std::uint32_t value) = 0;
  // Enable states and labels of the commands are recomputed for this selection.
  virtual void RefreshRibbon(RibbonSelection selection) = 0;
  // A firmware lookup found firmwares: the Change Firmware and Crash Recovery lists refresh.
  virtual void FirmwaresArrived() = 0;
};

// A view that shows nothing (no window).
class NoCenterView final : public CenterView {
 public:
  void DeviceListChanged() override {}
  void RebuildListDisplay() override {}
  void DropValueBars(std::vector<Device::QuorvaneDevice>&) override {}
  void SetStatusText(int, const std::string&) override {}
  void SetValueBar(std::size_t, std::uint32_t) override {}
  void RefreshRibbon(RibbonSelection) override {}
  void FirmwaresArrived() override {}
};

}  // namespace Quorvane::Center
