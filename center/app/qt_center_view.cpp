#include "center/app/qt_center_view.h"

namespace Quorvane::Center {

template <typename Call>
void QtCenterView::OnWindowThread(Call call) {
  MainWindow* window = window_;
  QMetaObject::invokeMethod(
      window, [window, call] { call(*window); }, Qt::QueuedConnection);
}

void QtCenterView::DeviceListChanged() {
  OnWindowThread([](MainWindow& window) { window.RebuildListDisplay(); });
}

void QtCenterView::RebuildListDisplay() {
  OnWindowThread([](MainWindow& window) { window.RebuildListDisplay(); });
}

void QtCenterView::DropValueBars(std::vector<Device::QuorvaneDevice>&) {
  // The bars are drawn from the window's copy of the lines; values of the old list must not
  // reach the new one's lines.
  liveValues_.StartNewList();
}

void QtCenterView::SetStatusText(int part, const std::string& text) {
  OnWindowThread([part, text](MainWindow& window) { window.SetStatusText(part, text); });
}

void QtCenterView::SetValueBar(std::size_t row, std::uint32_t value) {
  liveValues_.Set(row, value);
}

void QtCenterView::RefreshRibbon(RibbonSelection selection) {
  OnWindowThread([selection](MainWindow& window) { window.RefreshRibbon(selection); });
}

void QtCenterView::FirmwaresArrived() {
  OnWindowThread([](MainWindow& window) { window.RefreshGalleries(); });
}

}  // namespace Quorvane::Center
