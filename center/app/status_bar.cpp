#include "center/app/status_bar.h"

#include <QLabel>
#include <QPainter>

#include "center/app/colour_palette.h"

namespace Quorvane::Center {

StatusBar::StatusBar(QWidget* parent) : QWidget(parent), progress_(new QProgressBar(this)) {
  setObjectName(QStringLiteral("StatusBar"));
  setFixedHeight(kHeight);
  for (auto& part : parts_) {
    part = new QLabel(this);
    part->setIndent(4);
  }
  progress_->setObjectName(QStringLiteral("StatusProgress"));
  progress_->setAccessibleName(QStringLiteral("Update check progress"));
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  progress_->hide();
}

void StatusBar::SetText(int part, const QString& text) {
  if (part >= 0 && part < static_cast<int>(parts_.size())) {
    parts_[static_cast<std::size_t>(part)]->setText(text);
  }
}

QString StatusBar::Text(int part) const {
  return part >= 0 && part < static_cast<int>(parts_.size())
             ? parts_[static_cast<std::size_t>(part)]->text()
             : QString();
}

void StatusBar::resizeEvent(QResizeEvent*) {
  const int edges[3] = {kPartEdges[0], kPartEdges[1], width()};
  int left = 0;
  for (std::size_t part = 0; part < parts_.size(); ++part) {
    parts_[part]->setGeometry(left, 0, std::max(0, edges[part] - left), height());
    left = edges[part];
  }
  progress_->setGeometry(kPartEdges[0] + 3, 3, 244, height() - 6);
}

void StatusBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const CenterColours colours = CenterColoursOf(palette());
  painter.fillRect(rect(), ToQColor(colours.statusBar));
  painter.setPen(ToQColor(colours.statusLine));
  painter.drawLine(0, 0, width(), 0);
  for (const int edge : kPartEdges) {
    painter.drawLine(edge - 1, 3, edge - 1, height() - 4);
  }
}

}  // namespace Quorvane::Center
