// The updater's progress dialog: a small system-modal window without a close box, a text and a
// marquee bar whose colour changes once a second. Lives on the GUI (main) thread; the run's
// worker thread shows and closes it through QtProgressView.
#pragma once

#include <QDialog>
#include <QTimer>

#include "common/ui/colour_cycle.h"
#include "updater/updater_context.h"

class QLabel;
class QProgressBar;

namespace Quorvane::Updater {

class ProgressDialog final : public QDialog {
 public:
  explicit ProgressDialog(const QString& text);

  // The bar's present colour (for tests).
  Ui::Rgb BarColour() const { return barColour_; }
  QString Text() const;

 protected:
  // The colours change only while the dialog is shown.
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void SetBarColour(Ui::Rgb colour);

  QLabel* label_;
  QProgressBar* bar_;
  QTimer timer_;
  Ui::Rgb barColour_{};
};

// Shows the dialog on the GUI thread on behalf of a worker thread; blocks the worker until the
// GUI thread has done it.
class QtProgressView final : public ProgressView {
 public:
  void Show(const std::string& text) override;
  void Close() override;
  // A warning box, over the progress dialog while it is up.
  void Tell(const std::string& text) override;

 private:
  ProgressDialog* dialog_ = nullptr;  // owned by the GUI thread
};

}  // namespace Quorvane::Updater
