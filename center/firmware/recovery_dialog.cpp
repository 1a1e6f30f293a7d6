#include "center/firmware/recovery_dialog.h"

#include <QCheckBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace Quorvane::Firmware {
namespace {

// Recovery's colours, its own and kept from one run to the next.
Ui::ColourCycle& RecoveryColours() {
  static Ui::ColourCycle colours(0);
  return colours;
}

}  // namespace

RecoveryDialog::RecoveryDialog(std::function<void(FirmwareView&, bool)> work, QWidget* parent)
    : FirmwareProgressDialog(QStringLiteral("Recover Firmware"),
                             QStringLiteral("Click OK to start recovering firmware..."),
                             &RecoveryColours(), parent),
      work_(std::move(work)),
      secure_(new QCheckBox(QStringLiteral("Secure Crash Recovery"))),
      view_(*this) {
  setObjectName(QStringLiteral("RecoveryDialog"));
  // The bootloaders of these controllers take scrambled images only: the box stays checked.
  secure_->setChecked(true);
  secure_->setEnabled(false);
  Layout().insertWidget(1, secure_);
  OkButton().setEnabled(true);
  disconnect(&OkButton(), &QPushButton::clicked, nullptr, nullptr);
  connect(&OkButton(), &QPushButton::clicked, this, &RecoveryDialog::Ok);
}

RecoveryDialog::~RecoveryDialog() {
  view_.Close();
  if (worker_.joinable()) {
    worker_.join();
  }
}

void RecoveryDialog::Ok() {
  if (started_) {
    StopColourTimer();
    done(1);
    return;
  }
  started_ = true;
  OkButton().setEnabled(false);
  secure_->setEnabled(false);
  const bool secure = secure_->isChecked();
  worker_ = std::thread([this, secure] { work_(view_, secure); });
  StartColourTimer();
}

void RecoveryDialog::reject() {
  if (!started_) {
    done(2);
  }
}

}  // namespace Quorvane::Firmware
