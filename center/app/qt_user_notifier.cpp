#include "center/app/qt_user_notifier.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <chrono>
#include <future>
#include <memory>

namespace Quorvane::Center {
namespace {

QMessageBox::Icon BoxIcon(Diagnostics::NoticeIcon icon) {
  switch (icon) {
    case Diagnostics::NoticeIcon::Error: return QMessageBox::Critical;
    case Diagnostics::NoticeIcon::Warning: return QMessageBox::Warning;
    case Diagnostics::NoticeIcon::Information: return QMessageBox::Information;
    case Diagnostics::NoticeIcon::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

void QtUserNotifier::ShowHere(Diagnostics::NoticeIcon icon, const QString& caption, const QString& text) {
  QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, parent_);
  box.exec();
}

void QtUserNotifier::Show(Diagnostics::NoticeIcon icon, std::string_view caption, std::string_view text) {
  QCoreApplication* application = QCoreApplication::instance();
  if (closing_ || application == nullptr) {
    fallback_.Show(icon, caption, text);
    return;
  }
  const QString captionText = FromUtf8(caption);
  const QString bodyText = FromUtf8(text);
  if (QThread::currentThread() == application->thread()) {
    ShowHere(icon, captionText, bodyText);
    return;
  }
  auto answered = std::make_shared<std::promise<void>>();
  std::future<void> done = answered->get_future();
  QMetaObject::invokeMethod(
      application,
      [this, icon, captionText, bodyText, answered] {
        if (!closing_) {
          ShowHere(icon, captionText, bodyText);
        }
        answered->set_value();
      },
      Qt::QueuedConnection);
  while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (closing_) {
      return;
    }
  }
}

}  // namespace Quorvane::Center
