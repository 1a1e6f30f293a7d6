// Draws every line of the controller list: background, marker, texts, and for channel and
// button lines the value bar in the value column, in the marker's colour.
#pragma once

#include <QIcon>
#include <QStyledItemDelegate>
#include <algorithm>

namespace Quorvane::Center {

class DeviceListView;
struct ListLine;

class ValueBarDelegate final : public QStyledItemDelegate {
  Q_OBJECT

 public:
  ValueBarDelegate(const DeviceListView& view, QObject* parent);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  static constexpr int kRowHeight = 19;
  // The pixels a bar's filling can take in a value cell of this width.
  static int BarPixels(int cellWidth) { return std::max(1, cellWidth - 6); }

 private:
  void PaintName(QPainter& painter, const QRect& cell, const ListLine& line) const;
  void PaintBar(QPainter& painter, const QRect& cell, const ListLine& line, bool highlighted,
                bool focused) const;
  void PaintText(QPainter& painter, const QRect& cell, int inset, const QString& text) const;

  const DeviceListView& view_;
  QFont font_;
  QPixmap devicePixmap_;
  QPixmap buttonPixmap_;
};

// The closest installed font to Verdana, 14 pixels, normal weight.
QFont ListFont();

}  // namespace Quorvane::Center
