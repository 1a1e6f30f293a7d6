#include "center/app/trace_dialog.h"

#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <mutex>

#include "center/app/application.h"
#include "center/app/colour_palette.h"
#include "center/app/list_display.h"

namespace Quorvane::Center {

// The lines of the trace: time across (the last ten seconds, now at the right), the calibrated
// range up (its minimum at the bottom).
class TracePlot final : public QWidget {
 public:
  explicit TracePlot(const TraceRecorder& recorder) : recorder_(recorder) {
    setMinimumSize(480, 200);
    setAccessibleName(QStringLiteral("Trace of the last ten seconds"));
  }
  void SetNow(std::chrono::milliseconds now) { now_ = now; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    const QRectF area = QRectF(rect()).adjusted(4, 4, -4, -4);
    painter.setPen(QPen(palette().midlight().color(), 0));
    for (int quarter = 0; quarter <= 4; ++quarter) {
      const double y = area.bottom() - area.height() * quarter / 4;
      painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    const double span = static_cast<double>(TraceRecorder::kSpan.count());
    const auto xOf = [&](std::chrono::milliseconds at) {
      return area.right() - area.width() * static_cast<double>((now_ - at).count()) / span;
    };
    for (const auto& channel : recorder_.Channels()) {
      points_.clear();
      for (const auto& [at, share] : channel.shares) {
        points_.emplace_back(xOf(at), area.bottom() - area.height() * share);
      }
      const auto drawLine = [&] {
        painter.drawPolyline(points_.data(), static_cast<int>(points_.size()));
      };
      DrawInColour(painter, channel.colour, drawLine);
    }
    // A button's presses as marks along the top, a row of them per button, in the buttons' blue.
    DrawInColour(painter, MarkerColour(LineMarker::Button), [&] {
      double top = area.top();
      for (const auto& button : recorder_.Buttons()) {
        for (const auto at : button.pressed) {
          const double x = xOf(at);
          painter.drawLine(QPointF(x, top), QPointF(x, top + 6));
        }
        top += 8;
      }
    });
  }

 private:
  // Draws lines in `colour`, greyed while the controller is away. On a dark background a colour
  // too close to it gets a line of the text colour above and below it, so that it stands out
  // (two thin lines cost far less than one wide one). On a light one the lines stay as they are:
  // the edges would cost the view a third more of its time.
  template <typename Draw>
  void DrawInColour(QPainter& painter, Ui::Rgb colour, const Draw& draw) const {
    const Ui::Rgb background = ToRgb(palette().base().color());
    if (isEnabled() && IsDark(background) && BarNeedsEdge(colour, background)) {
      painter.setPen(QPen(palette().text().color(), 1));
      for (const double shift : {-1.0, 2.0}) {
        painter.translate(0, shift);
        draw();
      }
      painter.translate(0, -1);
    }
    painter.setPen(QPen(isEnabled() ? ToQColor(colour) : palette().mid().color(), 1));
    draw();
  }

  const TraceRecorder& recorder_;
  std::chrono::milliseconds now_{0};
  std::vector<QPointF> points_;  // kept between pictures, so that drawing allocates nothing
};

TraceDialog::TraceDialog(CApplication& application, const Device::QuorvaneDevice& row,
                         QWidget* parent)
    : QDialog(parent),
      application_(application),
      recorder_(row),
      plot_(new TracePlot(recorder_)),
      healthBox_(new QWidget) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QString::fromStdString("Trace: " + row.serialNumber));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(plot_, 1);
  new QVBoxLayout(healthBox_);
  layout->addWidget(healthBox_);
  clock_.start();
  timer_.setInterval(33);  // 30 pictures a second
  connect(&timer_, &QTimer::timeout, this, &TraceDialog::Step);
  timer_.start();
  Step();
}

void TraceDialog::Step() {
  // Only this controller's rows are copied: the lock is held for as short as can be.
  std::vector<Device::QuorvaneDevice> rows;
  {
    auto& devices = application_.Devices();
    std::lock_guard lock(devices.listLock);
    for (const auto& row : devices.rows) {
      if (row.devicePath == recorder_.DevicePath()) rows.push_back(row);
    }
  }
  const std::chrono::milliseconds now(clock_.elapsed());
  const bool present = recorder_.Feed(rows, now);
  plot_->setEnabled(present);
  // Greyed out and said while the controller is away; as before once it is back.
  setWindowTitle(QString::fromStdString("Trace: " + recorder_.Serial() +
                                        (present ? "" : " (the controller left)")));
  plot_->SetNow(now);
  plot_->update();
  const auto& channels = recorder_.Channels();
  // The health figures change over seconds: writing them four times a second is enough.
  if (healthLines_.size() == channels.size() && ++stepsSinceHealth_ < 8) return;
  stepsSinceHealth_ = 0;
  while (healthLines_.size() < channels.size()) {
    auto* line = new QLabel;
    healthBox_->layout()->addWidget(line);
    healthLines_.push_back(line);
  }
  for (std::size_t index = 0; index < channels.size(); ++index) {
    const auto& channel = channels[index];
    const QString text =
        QString::fromStdString(Device::HealthLine(channel.name, channel.meter.HealthAt(now)));
    if (healthLines_[index]->text() != text) healthLines_[index]->setText(text);
  }
}

}  // namespace Quorvane::Center
