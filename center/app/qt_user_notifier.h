// Message boxes on the window thread. A notice from another thread waits there until the user
// has answered, as a modal box does; once the window is closing, notices go to standard error
// instead so that no thread waits for a window that will not come.
#pragma once

#include <QPointer>
#include <QWidget>
#include <atomic>

#include "common/diagnostics/user_notifier.h"
#include "common/ui/window_thread.h"

namespace Quorvane::Center {

class QtUserNotifier final : public Diagnostics::UserNotifier {
 public:
  void Show(Diagnostics::NoticeIcon icon, std::string_view caption, std::string_view text) override;

  // Boxes are centred over this window.
  void SetParent(QWidget* parent) { parent_ = parent; }
  // The window is closing: later notices are not shown, and threads waiting for one go on.
  void SetClosing() { closing_->store(true); }
  // Every other thread has ended: notices are shown again (the report of a fatal error).
  void Reopen() { closing_->store(false); }

 private:
  void ShowHere(Diagnostics::NoticeIcon icon, const QString& caption, const QString& text);

  QPointer<QWidget> parent_;
  Ui::AbandonFlag closing_ = std::make_shared<std::atomic<bool>>(false);
  Diagnostics::StderrUserNotifier fallback_;
};

}  // namespace Quorvane::Center
