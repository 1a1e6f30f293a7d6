// The main window as the core's CenterView: every call may come from the poll thread, a worker
// or a lookup, and is carried to the window thread without waiting. Live values go to the
// buffer the window reads once per display frame.
#pragma once

#include "center/app/center_view.h"
#include "center/app/live_value_buffer.h"
#include "center/app/main_window.h"

namespace Quorvane::Center {

class QtCenterView final : public CenterView {
 public:
  QtCenterView(MainWindow& window, LiveValueBuffer& liveValues)
      : window_(&window), liveValues_(liveValues) {}

  void DeviceListChanged() override;
  void RebuildListDisplay() override;
  void DropValueBars(std::vector<Device::QuorvaneDevice>& rows) override;
  void SetStatusText(int part, const std::string& text) override;
  void SetValueBar(std::size_t row, std::uint32_t value) override;
  void RefreshRibbon(RibbonSelection selection) override;
  void FirmwaresArrived() override;

 private:
  template <typename Call>
  void OnWindowThread(Call call);

  MainWindow* window_;  // outlives every thread that calls the view
  LiveValueBuffer& liveValues_;
};

}  // namespace Quorvane::Center
