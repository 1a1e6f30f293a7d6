#include "center/firmware/firmware_dialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <thread>

#include "center/firmware/dialog_firmware_view.h"
#include "center/firmware/firmware_job.h"
#include "common/ui/progress_bar_style.h"

namespace Quorvane::Firmware {
namespace {

constexpr const char* kWhite = "white";
constexpr const char* kLightGrey = "rgb(220, 220, 220)";

// The change dialog's colours, kept from one run to the next.
Ui::ColourCycle& ChangeColours() {
  static Ui::ColourCycle colours(0);
  return colours;
}

}  // namespace

FirmwareProgressDialog::FirmwareProgressDialog(const QString& title, const QString& status,
                                               Ui::ColourCycle* colours, QWidget* parent)
    : QDialog(parent),
      layout_(new QVBoxLayout(this)),
      status_(new QLabel(status)),
      progress_(new QProgressBar),
      output_(new QPlainTextEdit),
      ok_(new QPushButton(QStringLiteral("OK"))),
      colours_(colours) {
  setWindowTitle(title);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  auto* group = new QGroupBox(QStringLiteral("Progress..."));
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(Ui::FramedProgressBar(progress_));
  status_->setObjectName(QStringLiteral("Status"));
  status_->setWordWrap(true);
  groupLayout->addWidget(status_);

  // The flashing tool's output, in a fixed-pitch font, shown once there is some.
  QFont monospace(QStringLiteral("Courier New"));
  monospace.setStyleHint(QFont::TypeWriter);
  output_->setFont(monospace);
  output_->setReadOnly(true);
  output_->setTabChangesFocus(true);
  output_->setAccessibleName(QStringLiteral("Flashing tool output"));
  progress_->setAccessibleName(QStringLiteral("Progress"));
  output_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  output_->setMinimumHeight(180);
  output_->hide();

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  ok_->setEnabled(false);
  connect(ok_, &QPushButton::clicked, this, [this] {
    StopColourTimer();
    done(1);
  });

  layout_->addWidget(group);
  layout_->addWidget(output_, 1);
  layout_->addLayout(buttons);
  setMinimumWidth(460);

  SetBarColour(Ui::kColourTable[0], colours_ != nullptr ? kWhite : kLightGrey);
  colourTimer_.setInterval(1000);
  connect(&colourTimer_, &QTimer::timeout, this,
          [this] { SetBarColour(colours_->Next(), kWhite); });
}

void FirmwareProgressDialog::StartColourTimer() {
  if (colours_ != nullptr) {
    colourTimer_.start();
  }
}

void FirmwareProgressDialog::SetBarColour(Ui::Rgb colour, const char* background) {
  barColour_ = colour;
  if (colours_ == nullptr) {
    // The update dialog's bar keeps the default colour on its grey background.
    progress_->setStyleSheet(Ui::ProgressBarStyle(QLatin1String(background)));
    return;
  }
  progress_->setStyleSheet(Ui::ProgressBarStyle(colour, QLatin1String(background)));
}

void FirmwareProgressDialog::SetStatus(const std::string& text) {
  status_->setText(QString::fromStdString(text));
}

void FirmwareProgressDialog::SetCaption(const std::string& text) {
  setWindowTitle(QString::fromStdString(text));
}

void FirmwareProgressDialog::SetProgressRange(int minimum, int maximum) {
  progress_->setRange(minimum, maximum);
}

void FirmwareProgressDialog::StepProgress() {
  const int next = progress_->value() + 1;
  progress_->setValue(next > progress_->maximum() ? progress_->minimum() : next);
}

void FirmwareProgressDialog::SetProgressPosition(int position) { progress_->setValue(position); }

void FirmwareProgressDialog::AppendOutput(const std::string& text) {
  if (output_->isHidden()) {
    output_->show();
    resize(std::max(width(), 640), height() + output_->minimumHeight());
  }
  output_->moveCursor(QTextCursor::End);
  output_->insertPlainText(QString::fromStdString(text));
  output_->moveCursor(QTextCursor::End);
}

void FirmwareProgressDialog::EnableOk() { ok_->setEnabled(true); }

void FirmwareProgressDialog::StopColourTimer() { colourTimer_.stop(); }

void FirmwareProgressDialog::CloseWithOk() {
  StopColourTimer();
  done(1);
}

FirmwareDialog::FirmwareDialog(Kind kind, const std::string& updateVersion, QWidget* parent)
    : FirmwareProgressDialog(QStringLiteral("Update Firmware"), QString::fromLatin1(kResetStepText),
                             kind == Kind::Change ? &ChangeColours() : nullptr, parent) {
  setObjectName(QStringLiteral("FirmwareDialog"));
  SetCaption(kind == Kind::Change ? "Update Firmware to v"
                                  : "Update Firmware to v" + updateVersion);
  StartColourTimer();
}

int RunFirmwareDialog(FirmwareProgressDialog& dialog,
                      const std::function<void(FirmwareView&)>& work) {
  DialogFirmwareView view(dialog);
  std::thread worker([&] { work(view); });
  const int result = dialog.exec();
  view.Close();
  worker.join();
  return result;
}

}  // namespace Quorvane::Firmware
