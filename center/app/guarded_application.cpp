#include "center/app/guarded_application.h"

#include <utility>

namespace Quorvane::Center {

std::exception_ptr GuardedApplication::escaped_;

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    // The first one counts; every event loop, nested ones too, ends.
    if (!escaped_) {
      escaped_ = std::current_exception();
    }
    exit(1);
    return false;
  }
}

void GuardedApplication::RethrowEscaped() {
  if (auto escaped = std::exchange(escaped_, nullptr)) {
    std::rethrow_exception(escaped);
  }
}

}  // namespace Quorvane::Center
