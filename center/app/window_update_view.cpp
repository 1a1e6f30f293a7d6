#include "center/app/window_update_view.h"

#include <QMessageBox>

#include <chrono>
#include <future>

#include "center/app/main_window.h"

namespace Quorvane::Center {

void WindowUpdateView::SetStatusText(const std::string& text) {
  MainWindow* window = window_;
  QMetaObject::invokeMethod(window, [window, text] { window->SetStatusText(0, text); }, Qt::QueuedConnection);
}

void WindowUpdateView::ShowProgress(bool running) {
  MainWindow* window = window_;
  QMetaObject::invokeMethod(window, [window, running] { window->ShowUpdateProgress(running); }, Qt::QueuedConnection);
}

bool WindowUpdateView::AskToUpdate() {
  if (closed_->load()) {
    return false;
  }
  auto answer = std::make_shared<std::promise<bool>>();
  std::future<bool> answered = answer->get_future();
  MainWindow* window = window_;
  auto closed = closed_;
  QMetaObject::invokeMethod(
      window,
      [window, closed, answer] {
        bool yes = false;
        if (!closed->load()) {
          QMessageBox box(QMessageBox::Information, QStringLiteral("Information"), QString::fromLatin1(kUpdateQuestion),
                          QMessageBox::Yes | QMessageBox::No, window);
          yes = box.exec() == QMessageBox::Yes;
        }
        answer->set_value(yes);
      },
      Qt::QueuedConnection);
  while (answered.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (closed_->load()) {
      return false;
    }
  }
  return answered.get();
}

void WindowUpdateView::CloseForUpdate() {
  MainWindow* window = window_;
  QMetaObject::invokeMethod(window, [window] { window->Quit(); }, Qt::QueuedConnection);
}

void WindowUpdateView::OffersChanged() {
  MainWindow* window = window_;
  QMetaObject::invokeMethod(window, [window] { window->RefreshGalleries(); }, Qt::QueuedConnection);
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
