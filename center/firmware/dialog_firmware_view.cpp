#include "center/firmware/dialog_firmware_view.h"

#include <chrono>
#include <future>

namespace Quorvane::Firmware {

DialogFirmwareView::DialogFirmwareView(FirmwareProgressDialog& dialog) : dialog_(&dialog) {}

template <typename Call>
void DialogFirmwareView::Apply(Call call) {
  if (closed_->load() || !dialog_) {
    return;
  }
  auto applied = std::make_shared<std::promise<void>>();
  std::future<void> done = applied->get_future();
  QPointer<FirmwareProgressDialog> dialog = dialog_;
  auto closed = closed_;
  QMetaObject::invokeMethod(
      dialog.data(),
      [dialog, closed, call, applied] {
        if (dialog && !closed->load()) {
          call(*dialog);
        }
        applied->set_value();
      },
      Qt::QueuedConnection);
  while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (closed_->load()) {
      return;
    }
  }
}

void DialogFirmwareView::SetStatus(const std::string& text) {
  Apply([text](FirmwareProgressDialog& dialog) { dialog.SetStatus(text); });
}

void DialogFirmwareView::SetCaption(const std::string& text) {
  Apply([text](FirmwareProgressDialog& dialog) { dialog.SetCaption(text); });
}

void DialogFirmwareView::SetProgressRange(int minimum, int maximum) {
  Apply([minimum, maximum](FirmwareProgressDialog& dialog) { dialog.SetProgressRange(minimum, maximum); });
}

void DialogFirmwareView::StepProgress() {
  Apply([](FirmwareProgressDialog& dialog) { dialog.StepProgress(); });
}

void DialogFirmwareView::SetProgressPosition(int position) {
  Apply([position](FirmwareProgressDialog& dialog) { dialog.SetProgressPosition(position); });
}

void DialogFirmwareView::AppendOutput(const std::string& text) {
  Apply([text](FirmwareProgressDialog& dialog) { dialog.AppendOutput(text); });
}

void DialogFirmwareView::EnableOk() {
  Apply([](FirmwareProgressDialog& dialog) { dialog.EnableOk(); });
}

void DialogFirmwareView::StopColourTimer() {
  Apply([](FirmwareProgressDialog& dialog) { dialog.StopColourTimer(); });
}

void DialogFirmwareView::CloseWithOk() {
  Apply([](FirmwareProgressDialog& dialog) { dialog.CloseWithOk(); });
}

}  // namespace Quorvane::Firmware
