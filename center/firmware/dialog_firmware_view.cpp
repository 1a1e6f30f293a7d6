#include "center/firmware/dialog_firmware_view.h"

#include "common/ui/window_thread.h"

namespace Quorvane::Firmware {

DialogFirmwareView::DialogFirmwareView(FirmwareProgressDialog& dialog) : dialog_(&dialog) {}

template <typename Call>
void DialogFirmwareView::Apply(Call call) {
  QPointer<FirmwareProgressDialog> dialog = dialog_;
  Ui::RunOnWindowThreadAndWait(dialog.data(), closed_, [dialog, call] {
    if (dialog) call(*dialog);
  });
}

void DialogFirmwareView::SetStatus(const std::string& text) {
  Apply([text](FirmwareProgressDialog& dialog) { dialog.SetStatus(text); });
}

void DialogFirmwareView::SetCaption(const std::string& text) {
  Apply([text](FirmwareProgressDialog& dialog) { dialog.SetCaption(text); });
}

void DialogFirmwareView::SetProgressRange(int minimum, int maximum) {
  Apply([minimum, maximum](FirmwareProgressDialog& dialog) {
    dialog.SetProgressRange(minimum, maximum);
  });
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
