// A firmware dialog as its worker's FirmwareView: each call is carried to the dialog's thread and
// applied there in order, the worker waiting until it is, as the worker's synchronous window
// messages did. Once the dialog has ended, calls do nothing and nobody waits.
#pragma once

#include <QPointer>
#include <atomic>
#include <memory>

#include "center/firmware/firmware_dialog.h"
#include "common/ui/window_thread.h"

namespace Quorvane::Firmware {

class DialogFirmwareView final : public FirmwareView {
 public:
  explicit DialogFirmwareView(FirmwareProgressDialog& dialog);

  void SetStatus(const std::string& text) override;
  void SetCaption(const std::string& text) override;
  void SetProgressRange(int minimum, int maximum) override;
  void StepProgress() override;
  void SetProgressPosition(int position) override;
  void AppendOutput(const std::string& text) override;
  void EnableOk() override;
  void StopColourTimer() override;
  void CloseWithOk() override;

  // The dialog has ended: the worker no longer waits for it.
  void Close() { closed_->store(true); }

 private:
  template <typename Call>
  void Apply(Call call);

  QPointer<FirmwareProgressDialog> dialog_;
  Ui::AbandonFlag closed_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace Quorvane::Firmware
