#include "center/app/window_update_view.h"

#include <QMessageBox>

#include "center/app/main_window.h"

namespace Quorvane::Center {

void WindowUpdateView::SetStatusText(const std::string& text) {
  MainWindow* window = window_;
  QMetaObject::invokeMethod(
      window, [window, text] { window->SetStatusText(0, text); }, Qt::QueuedConnection);
}

void WindowUpdateView::ShowProgress(bool running) {
  MainWindow* window = window_;
  QMetaObject::invokeMethod(
      window, [window, running] { window->ShowUpdateProgress(running); }, Qt::QueuedConnection);
}

bool WindowUpdateView::AskToUpdate() {
  auto yes = std::make_shared<bool>(false);
  MainWindow* window = window_;
  Ui::RunOnWindowThreadAndWait(window, closed_, [window, yes] {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Information"),
                    QString::fromLatin1(kUpdateQuestion), QMessageBox::Yes | QMessageBox::No,
                    window);
    *yes = box.exec() == QMessageBox::Yes;
  });
  return *yes;
}

void WindowUpdateView::CloseForUpdate() {
  MainWindow* window = window_;
  QMetaObject::invokeMethod(
      window, [window] { window->Quit(); }, Qt::QueuedConnection);
}

void WindowUpdateView::OffersChanged() {
  MainWindow* window = window_;
  QMetaObject::invokeMethod(
      window, [window] { window->RefreshGalleries(); }, Qt::QueuedConnection);
}

void WindowUpdateView::TellUser(const std::string& text) {
  MainWindow* window = window_;
  auto closed = closed_;
  QMetaObject::invokeMethod(
      window,
      [window, closed, text] {
        if (!closed->load()) {
          QMessageBox::warning(window, QStringLiteral("Warning!"), QString::fromStdString(text));
        }
      },
      Qt::QueuedConnection);
}

}  // namespace Quorvane::Center
