// The "Calibration" dialog: the user picks a kind (automatic minimum, maximum, custom minimum),
// presses OK, and the dialog sends the command and counts the controller's time down. The rules
// are the CalibrationSession's; the dialog shows them and forwards the clicks.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>
#include <locale>

#include "center/calibration/calibration_session.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace Quorvane::Calibration {

struct CalibrationDialogServices {
  Platform::Clock& clock;
  // The selected channel's present readings, read under the device I/O lock.
  std::function<ChannelReadings()> readings;
  CalibrationSession::CommandSender send;
  // Registers a call for every HID arrival and removal (from any thread); returns its id.
  std::function<int(std::function<void()>)> addDeviceListener;
  std::function<void(int)> removeDeviceListener;
};

class CalibrationDialog final : public QDialog {
  Q_OBJECT

 public:
  CalibrationDialog(CalibrationDialogServices services, QWidget* parent);
  ~CalibrationDialog() override;

  // How often the wait looks at the clock; the session counts half seconds by the clock.
  static constexpr int kWaitLookMs = 100;

  QRadioButton& AutomaticMinimum() { return *automaticMinimum_; }
  QRadioButton& Maximum() { return *maximum_; }
  QRadioButton& CustomMinimum() { return *customMinimum_; }
  QLineEdit& Edit() { return *edit_; }
  QLabel& Instruction() { return *instruction_; }
  QLabel& Caption() { return *caption_; }
  QProgressBar& Progress() { return *progress_; }
  QPushButton& OkButton() { return *ok_; }
  QPushButton& CancelButton() { return *cancel_; }
  Ui::Rgb BarColour() const { return barColour_; }

 public slots:
  void reject() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CalibrationKind CheckedKind() const;
  void ShowInstruction(CalibrationKind kind);
  void ShowLiveReading();
  void Step(int change);
  void Ok();
  void AdvanceWait();
  void SetBarColour(Ui::Rgb colour);
  void End(CalibrationResult result);

  CalibrationDialogServices services_;
  CalibrationSession session_;
  std::locale locale_;
  QRadioButton* automaticMinimum_;
  QRadioButton* maximum_;
  QRadioButton* customMinimum_;
  QLineEdit* edit_;
  QToolButton* up_;
  QToolButton* down_;
  QLabel* instruction_;
  QLabel* caption_;
  QProgressBar* progress_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QTimer liveTimer_;    // 300 ms: the live reading
  QTimer waitTimer_;    // the wait after OK
  QTimer colourTimer_;  // 1 s after OK: the bar's colour, and the live reading
  Ui::Rgb barColour_{255, 0, 0};
  int deviceListener_ = 0;
};

}  // namespace Quorvane::Calibration
