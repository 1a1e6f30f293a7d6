// Draws every line of the controller list: background, marker, texts, and for channel and
// button lines the value bar in the value column, in the marker's colour. What it paints comes
// from the model's roles; the row under the pointer, the selected and the current one from the
// item's state, as the view gives it.
#pragma once

#include <QIcon>
#include <QStyledItemDelegate>
#include <algorithm>

#include "center/app/colour_scheme.h"

namespace Quorvane::Center {

class ValueBarDelegate final : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit ValueBarDelegate(QObject* parent);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  static constexpr int kRowHeight = 19;
  // The pixels a bar's filling can take in a value cell of this width.
  static int BarPixels(int cellWidth) { return std::max(1, cellWidth - 6); }

 private:
  void PaintName(QPainter& painter, const QRect& cell, const QModelIndex& index) const;
  void PaintBar(QPainter& painter, const QRect& cell, const QModelIndex& index, bool highlighted,
                bool focused) const;
  void PaintText(QPainter& painter, const QRect& cell, int inset, const QString& text) const;

  QFont font_;
  CenterColours colours_;
  QPixmap devicePixmap_;
  QPixmap buttonPixmap_;
};

// The closest installed font to Verdana, 14 pixels, normal weight.
QFont ListFont();

}  // namespace Quorvane::Center
