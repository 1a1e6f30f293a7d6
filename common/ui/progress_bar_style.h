// The look of the programs' progress bars: a thin grey border on a plain background, the moving
// part in one of the colour cycle's colours, and the small frame the dialogs put around a bar.
#pragma once

#include <QFrame>
#include <QLatin1String>
#include <QProgressBar>
#include <QString>
#include <QVBoxLayout>

#include "common/ui/colour_cycle.h"

namespace Quorvane::Ui {

// A bar whose moving part keeps the toolkit's own colour.
inline QString ProgressBarStyle(QLatin1String background) {
  return QStringLiteral("QProgressBar { background: %1; border: 1px solid #a0a0a0; }")
      .arg(background);
}

inline QString ProgressBarStyle(Rgb chunk,
                                QLatin1String background = QLatin1String("palette(base)")) {
  return ProgressBarStyle(background) +
         QStringLiteral("QProgressBar::chunk { background: rgb(%1, %2, %3); }")
             .arg(chunk.red)
             .arg(chunk.green)
             .arg(chunk.blue);
}

// Makes `bar` an empty 0–100 bar without text and returns it inside a framed panel.
inline QFrame* FramedProgressBar(QProgressBar* bar) {
  auto* frame = new QFrame;
  frame->setFrameShape(QFrame::StyledPanel);
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(2, 2, 2, 2);
  bar->setTextVisible(false);
  bar->setRange(0, 100);
  bar->setValue(0);
  layout->addWidget(bar);
  return frame;
}

}  // namespace Quorvane::Ui
