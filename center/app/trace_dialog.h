// The trace view of one controller: every load cell's reading over the last ten seconds, a line
// per channel in its colour on the calibrated range, and its health beside. It follows the rows
// the poll thread reads (no second reader of the controller) and greys out when the controller
// leaves.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <vector>

#include "center/app/trace_recorder.h"

class QLabel;

namespace Quorvane::Center {

class CApplication;
class TracePlot;

class TraceDialog final : public QDialog {
  Q_OBJECT

 public:
  TraceDialog(CApplication& application, const Device::QuorvaneDevice& row, QWidget* parent);

  const TraceRecorder& Recorder() const { return recorder_; }

 private:
  void Step();

  CApplication& application_;
  TraceRecorder recorder_;
  TracePlot* plot_;
  std::vector<QLabel*> healthLines_;
  int stepsSinceHealth_ = 0;  // the health lines are written a few times a second, not each step
  QWidget* healthBox_;
  QTimer timer_;
  QElapsedTimer clock_;
};

}  // namespace Quorvane::Center
