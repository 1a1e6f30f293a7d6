// "Recover Firmware": flashes a controller whose firmware crashed, while the user presses its
// reset button. The first OK starts the work, an OK after its end closes the dialog; Escape and
// the close box work only before the start.
#pragma once

#include <functional>
#include <thread>

#include "center/firmware/dialog_firmware_view.h"
#include "center/firmware/firmware_dialog.h"

class QCheckBox;

namespace Quorvane::Firmware {

class RecoveryDialog final : public FirmwareProgressDialog {
  Q_OBJECT

 public:
  // `work` runs on a thread of its own from the first OK; it gets the box's setting.
  RecoveryDialog(std::function<void(FirmwareView&, bool secure)> work, QWidget* parent);
  // Waits for the work once the dialog has ended.
  ~RecoveryDialog() override;

  QCheckBox& SecureBox() { return *secure_; }

 public slots:
  void reject() override;

 private:
  void Ok();

  std::function<void(FirmwareView&, bool)> work_;
  QCheckBox* secure_;
  bool started_ = false;
  DialogFirmwareView view_;
  std::thread worker_;
};

}  // namespace Quorvane::Firmware
