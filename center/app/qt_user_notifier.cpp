#include "center/app/qt_user_notifier.h"

#include <QApplication>
#include <QMessageBox>

namespace Quorvane::Center {
namespace {

QMessageBox::Icon BoxIcon(Diagnostics::NoticeIcon icon) {
  switch (icon) {
    case Diagnostics::NoticeIcon::Error:
      return QMessageBox::Critical;
    case Diagnostics::NoticeIcon::Warning:
      return QMessageBox::Warning;
    case Diagnostics::NoticeIcon::Information:
      return QMessageBox::Information;
    case Diagnostics::NoticeIcon::Question:
      return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void QtUserNotifier::ShowHere(Diagnostics::NoticeIcon icon, const QString& caption,
                              const QString& text) {
  QMessageBox box(BoxIcon(icon), caption, text, QMessageBox::Ok, parent_);
  box.exec();
}

void QtUserNotifier::Show(Diagnostics::NoticeIcon icon, std::string_view caption,
                          std::string_view text) {
  QCoreApplication* application = QCoreApplication::instance();
  if (closing_->load() || application == nullptr) {
    fallback_.Show(icon, caption, text);
    return;
  }
  Ui::RunOnWindowThreadAndWait(
      application, closing_,
      [this, icon, captionText = FromUtf8(caption), bodyText = FromUtf8(text)] {
        ShowHere(icon, captionText, bodyText);
      });
}

}  // namespace Quorvane::Center
