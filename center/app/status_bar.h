// The main window's status bar: three parts whose right edges are at 500 and 750 pixels and the
// window's edge, and the progress bar that the update check shows in the second part.
#pragma once

#include <QProgressBar>
#include <QWidget>
#include <array>

class QLabel;

namespace Quorvane::Center {

class StatusBar final : public QWidget {
  Q_OBJECT

 public:
  explicit StatusBar(QWidget* parent = nullptr);

  void SetText(int part, const QString& text);
  QString Text(int part) const;
  // Hidden until an update check shows it.
  QProgressBar& Progress() { return *progress_; }

  static constexpr int kPartEdges[2] = {500, 750};
  static constexpr int kHeight = 22;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  std::array<QLabel*, 3> parts_{};
  QProgressBar* progress_;
};

}  // namespace Quorvane::Center
