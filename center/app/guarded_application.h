// The center's toolkit application. An exception that a slot, a timer or an event handler lets
// escape into the event loop ends the loop instead of the process; the center shuts down and
// throws it again, so that it is reported as an exception of the start-up is: an error box and
// an entry in the event log.
#pragma once

#include <QApplication>
#include <exception>

namespace Quorvane::Center {

class GuardedApplication final : public QApplication {
 public:
  GuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

  bool notify(QObject* receiver, QEvent* event) override;

  // Throws the exception that ended the event loop, once; does nothing when none did.
  static void RethrowEscaped();

 private:
  static std::exception_ptr escaped_;
};

}  // namespace Quorvane::Center
