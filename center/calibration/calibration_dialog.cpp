#include "center/calibration/calibration_dialog.h"

#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "common/ui/progress_bar_style.h"

namespace Quorvane::Calibration {

CalibrationDialog::CalibrationDialog(CalibrationDialogServices services, QWidget* parent)
    : QDialog(parent),
      services_(std::move(services)),
      session_(services_.clock, services_.send),
      locale_(UserLocale()),
      automaticMinimum_(new QRadioButton(QStringLiteral("&Minimum (45 seconds)"))),
      maximum_(new QRadioButton(QStringLiteral("Ma&ximum (5 seconds)"))),
      customMinimum_(new QRadioButton(QStringLiteral("Minimum (&Custom)"))),
      edit_(new QLineEdit(QStringLiteral("0"))),
      up_(new QToolButton),
      down_(new QToolButton),
      instruction_(new QLabel),
      caption_(new QLabel),
      progress_(new QProgressBar),
      ok_(new QPushButton(QStringLiteral("OK"))),
      cancel_(new QPushButton(QStringLiteral("Cancel"))) {
  setObjectName(QStringLiteral("CalibrationDialog"));
  setWindowTitle(QStringLiteral("Calibration"));

  // The custom minimum: the edit with arrows beside it that move the value one unit.
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  // The arrows are for the pointer, kept out of the Tab order: in the edit, the Up and Down keys
  // do the same.
  for (QToolButton* arrow : {up_, down_}) {
    arrow->setFixedSize(18, 12);
    arrow->setFocusPolicy(Qt::NoFocus);
  }
  up_->setAccessibleName(QStringLiteral("Raise the custom minimum"));
  down_->setAccessibleName(QStringLiteral("Lower the custom minimum"));
  edit_->setAccessibleName(QStringLiteral("Custom minimum"));
  progress_->setAccessibleName(QStringLiteral("Calibration progress"));
  edit_->setMaxLength(255);
  edit_->installEventFilter(this);
  auto* arrows = new QVBoxLayout;
  arrows->setSpacing(0);
  arrows->addWidget(up_);
  arrows->addWidget(down_);
  auto* custom = new QHBoxLayout;
  custom->addWidget(customMinimum_);
  custom->addWidget(edit_, 1);
  custom->addLayout(arrows);

  auto* type = new QGroupBox(QStringLiteral("Calibration Type"));
  auto* typeLayout = new QVBoxLayout(type);
  typeLayout->addWidget(automaticMinimum_);
  typeLayout->addWidget(maximum_);
  typeLayout->addLayout(custom);
  instruction_->setWordWrap(true);
  instruction_->setMinimumHeight(96);
  instruction_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
  typeLayout->addWidget(instruction_);

  auto* progressGroup = new QGroupBox(QStringLiteral("Progress"));
  auto* progressLayout = new QVBoxLayout(progressGroup);
  progressLayout->addWidget(caption_);
  progressLayout->addWidget(Ui::FramedProgressBar(progress_));

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  ok_->setDefault(true);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(type);
  layout->addWidget(progressGroup);
  layout->addLayout(buttons);
  setMinimumWidth(430);

  maximum_->setChecked(true);
  ShowInstruction(CalibrationKind::Maximum);
  caption_->clear();
  SetBarColour(Ui::kColourTable[0]);

  connect(automaticMinimum_, &QRadioButton::clicked, this,
          [this] { ShowInstruction(CalibrationKind::AutomaticMinimum); });
  connect(maximum_, &QRadioButton::clicked, this,
          [this] { ShowInstruction(CalibrationKind::Maximum); });
  connect(customMinimum_, &QRadioButton::clicked, this,
          [this] { ShowInstruction(CalibrationKind::CustomMinimum); });
  connect(up_, &QToolButton::clicked, this, [this] { Step(+1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
  connect(ok_, &QPushButton::clicked, this, &CalibrationDialog::Ok);
  connect(cancel_, &QPushButton::clicked, this, [this] { End(CalibrationResult::Cancelled); });

  liveTimer_.setInterval(300);
  connect(&liveTimer_, &QTimer::timeout, this, &CalibrationDialog::ShowLiveReading);
  liveTimer_.start();
  waitTimer_.setInterval(kWaitLookMs);
  connect(&waitTimer_, &QTimer::timeout, this, &CalibrationDialog::AdvanceWait);
  colourTimer_.setInterval(1000);
  connect(&colourTimer_, &QTimer::timeout, this, [this] {
    SetBarColour(CalibrationSession::NextColour());
    ShowLiveReading();
  });

  // A controller plugged in or removed ends the calibration: its row may be gone.
  QPointer<CalibrationDialog> guarded(this);
  if (services_.addDeviceListener) {
    deviceListener_ = services_.addDeviceListener([guarded] {
      QMetaObject::invokeMethod(
          guarded,
          [guarded] {
            if (guarded) guarded->End(CalibrationResult::DeviceChanged);
          },
          Qt::QueuedConnection);
    });
  }
}

CalibrationDialog::~CalibrationDialog() {
  if (services_.removeDeviceListener && deviceListener_ != 0) {
    services_.removeDeviceListener(deviceListener_);
  }
}

CalibrationKind CalibrationDialog::CheckedKind() const {
  if (automaticMinimum_->isChecked()) return CalibrationKind::AutomaticMinimum;
  if (maximum_->isChecked()) return CalibrationKind::Maximum;
  return CalibrationKind::CustomMinimum;
}

void CalibrationDialog::ShowInstruction(CalibrationKind kind) {
  const ChannelReadings present =
      kind == CalibrationKind::CustomMinimum ? services_.readings() : ChannelReadings{};
  instruction_->setText(QString::fromStdString(InstructionText(kind, present, locale_)));
}

void CalibrationDialog::ShowLiveReading() {
  // Only while the custom radio has the focus: typing in the edit is never overwritten.
  if (customMinimum_->hasFocus()) {
    edit_->setText(QString::number(services_.readings().raw));
  }
}

void CalibrationDialog::Step(int change) {
  // The minimum is in sensor units, far beyond the joystick range on every controller: the
  // arrows move it within what a reading can be.
  const std::int64_t value = ReadCustomMinimumText(edit_->text().toStdString()) + change;
  edit_->setText(QString::number(std::clamp<std::int64_t>(value, 0, kLargestReading)));
}

bool CalibrationDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && event->type() == QEvent::FocusIn && customMinimum_->isEnabled()) {
    automaticMinimum_->setChecked(false);
    maximum_->setChecked(false);
    customMinimum_->setChecked(true);
    ShowInstruction(CalibrationKind::CustomMinimum);
  }
  if (watched == edit_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      Step(key == Qt::Key_Up ? +1 : -1);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CalibrationDialog::Ok() {
  const CalibrationKind kind = CheckedKind();
  std::uint32_t customMinimum = 0;
  if (kind == CalibrationKind::CustomMinimum) {
    const CustomMinimumCheck check =
        CheckCustomMinimum(edit_->text().toStdString(), services_.readings(), locale_);
    const QString message = QString::fromStdString(check.message);
    if (check.verdict == CustomMinimumCheck::Verdict::Refuse) {
      QMessageBox::warning(this, QStringLiteral("Warning!"), message);
      return;
    }
    if (check.verdict == CustomMinimumCheck::Verdict::Confirm &&
        QMessageBox::question(this, QStringLiteral("Calibration"), message,
                              QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No) != QMessageBox::Yes) {
      return;
    }
    customMinimum = check.value;
  }
  if (!session_.Start(kind, customMinimum)) {
    End(CalibrationResult::SendFailed);
    return;
  }
  for (QWidget* control :
       std::initializer_list<QWidget*>{automaticMinimum_, maximum_, ok_, cancel_}) {
    control->setEnabled(false);
  }
  caption_->setText(QString::fromLatin1(kCaptionStart));
  progress_->setValue(0);
  waitTimer_.start();
  colourTimer_.start();
}

void CalibrationDialog::AdvanceWait() {
  const bool over = session_.Advance();
  progress_->setValue(std::min(session_.ProgressPosition(), progress_->maximum()));
  caption_->setText(QString::fromStdString(session_.Caption()));
  if (over) {
    End(CalibrationResult::Completed);
  }
}

void CalibrationDialog::SetBarColour(Ui::Rgb colour) {
  barColour_ = colour;
  progress_->setStyleSheet(Ui::ProgressBarStyle(colour));
}

void CalibrationDialog::reject() {
  // While the controller calibrates, the dialog stays: Escape and the close box do nothing.
  if (!session_.Waiting()) {
    End(CalibrationResult::Cancelled);
  }
}

void CalibrationDialog::End(CalibrationResult result) {
  liveTimer_.stop();
  waitTimer_.stop();
  colourTimer_.stop();
  done(static_cast<int>(result));
}

}  // namespace Quorvane::Calibration
