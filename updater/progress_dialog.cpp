#include "updater/progress_dialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

#include "common/diagnostics/user_notifier.h"
#include "common/ui/progress_bar_style.h"

namespace Quorvane::Updater {
namespace {

// One cycle for the whole process: a second dialog goes on where the first left off.
Ui::ColourCycle& ProcessColourCycle() {
  static Ui::ColourCycle cycle(1);
  return cycle;
}

}  // namespace

ProgressDialog::ProgressDialog(const QString& text)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      label_(new QLabel(text)),
      bar_(new QProgressBar) {
  setWindowTitle(QStringLiteral("Tollwick"));
  setWindowModality(Qt::ApplicationModal);
  auto* group = new QGroupBox(QStringLiteral("Quorvane Simulation Technology Updater"));
  auto* frame = new QGroupBox;
  bar_->setRange(0, 0);  // marquee
  bar_->setTextVisible(false);
  bar_->setFixedHeight(18);
  auto* frameLayout = new QVBoxLayout(frame);
  frameLayout->setContentsMargins(2, 2, 2, 2);
  frameLayout->addWidget(bar_);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(label_);
  groupLayout->addWidget(frame);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  setFixedSize(340, 142);
  SetBarColour(Ui::kColourTable[0]);
  connect(&timer_, &QTimer::timeout, this, [this] { SetBarColour(ProcessColourCycle().Next()); });
  timer_.setInterval(1000);
  // Centred on the screen the dialog opens on.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - rect().center());
  }
}

QString ProgressDialog::Text() const { return label_->text(); }

void ProgressDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  timer_.start();
}

void ProgressDialog::hideEvent(QHideEvent* event) {
  timer_.stop();
  QDialog::hideEvent(event);
}

void ProgressDialog::SetBarColour(Ui::Rgb colour) {
  barColour_ = colour;
  bar_->setStyleSheet(Ui::ProgressBarStyle(colour));
}

void QtProgressView::Show(const std::string& text) {
  QMetaObject::invokeMethod(
      qApp,
      [this, text] {
        delete dialog_;
        dialog_ = new ProgressDialog(QString::fromStdString(text));
        dialog_->show();
      },
      Qt::BlockingQueuedConnection);
}

void QtProgressView::Close() {
  QMetaObject::invokeMethod(
      qApp,
      [this] {
        delete dialog_;
        dialog_ = nullptr;
      },
      Qt::BlockingQueuedConnection);
}

void QtProgressView::Tell(const std::string& text) {
  // On the stand-in platform of a display that could not be reached, no one could answer a box.
  if (QGuiApplication::platformName() == QStringLiteral("offscreen")) {
    NoProgressView().Tell(text);
    return;
  }
  QMetaObject::invokeMethod(
      qApp,
      [this, text] {
        QMessageBox box(
            QMessageBox::Warning,
            QString::fromLatin1(Diagnostics::kWarningCaption.data(),
                                static_cast<qsizetype>(Diagnostics::kWarningCaption.size())),
            QString::fromStdString(text), QMessageBox::Ok, dialog_);
        box.exec();
      },
      Qt::BlockingQueuedConnection);
}

}  // namespace Quorvane::Updater
