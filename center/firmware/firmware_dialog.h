// The firmware dialogs: "Update Firmware" for a change to a chosen firmware or an update to the
// pending one, and the base they share with "Recover Firmware": progress bar, status line, the
// flashing tool's output, OK. A worker does the work and tells the dialog through
// DialogFirmwareView.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>

#include "center/firmware/firmware_view.h"
#include "common/ui/colour_cycle.h"

class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QVBoxLayout;

namespace Quorvane::Firmware {

// What every firmware dialog shows and how the worker's calls change it.
class FirmwareProgressDialog : public QDialog {
  Q_OBJECT

 public:
  QLabel& Status() { return *status_; }
  QProgressBar& Progress() { return *progress_; }
  QPlainTextEdit& Output() { return *output_; }
  QPushButton& OkButton() { return *ok_; }
  Ui::Rgb BarColour() const { return barColour_; }

  // The worker's calls, applied on the dialog's thread.
  void SetStatus(const std::string& text);
  void SetCaption(const std::string& text);
  void SetProgressRange(int minimum, int maximum);
  // One step; past the maximum the bar starts again from its minimum.
  void StepProgress();
  void SetProgressPosition(int position);
  // The output box appears with the first output.
  void AppendOutput(const std::string& text);
  void EnableOk();
  void StopColourTimer();
  void CloseWithOk();

 protected:
  // `colours` cycles the bar once a second (none: a plain bar on a grey background).
  FirmwareProgressDialog(const QString& title, const QString& status, Ui::ColourCycle* colours,
                         QWidget* parent);
  QVBoxLayout& Layout() { return *layout_; }
  void StartColourTimer();

 private:
  void SetBarColour(Ui::Rgb colour, const char* background);

  QVBoxLayout* layout_;
  QLabel* status_;
  QProgressBar* progress_;
  QPlainTextEdit* output_;
  QPushButton* ok_;
  QTimer colourTimer_;
  Ui::ColourCycle* colours_;
  Ui::Rgb barColour_{255, 0, 0};
};

// "Update Firmware": a change (to a firmware chosen from the controller's list) or an update (to
// its pending firmware). It runs from opening to the worker's end; OK closes it once enabled.
class FirmwareDialog final : public FirmwareProgressDialog {
  Q_OBJECT

 public:
  enum class Kind { Change, Update };
  // The update's caption carries the pending firmware's version ("Update Firmware to v2.1").
  FirmwareDialog(Kind kind, const std::string& updateVersion, QWidget* parent);

 public slots:
  // Neither Escape nor the close box ends it: only OK.
  void reject() override {}
};

// Runs the worker on a thread of its own while the dialog is open, and waits for it after the
// dialog closed; returns the dialog's result.
int RunFirmwareDialog(FirmwareProgressDialog& dialog,
                      const std::function<void(FirmwareView&)>& work);

}  // namespace Quorvane::Firmware
