#include "center/app/value_bar_delegate.h"

#include <QApplication>
#include <QPaintEngine>
#include <QPainter>

#include "center/app/center_resources.h"
#include "center/app/colour_palette.h"
#include "center/app/device_list_model.h"

namespace Quorvane::Center {
namespace {

// Whether the cell lies outside what is being painted now (a live value repaints only its bar):
// the paint event's clip, which the paint engine holds in device pixels.
bool OutsidePaintedArea(QPainter& painter, const QRect& cell) {
  const QPaintEngine* engine = painter.paintEngine();
  if (engine == nullptr || engine->systemClip().isEmpty()) return false;
  return !engine->systemClip().intersects(
      painter.deviceTransform().mapRect(QRectF(cell)).toAlignedRect());
}

QPixmap MarkerPixmap(const char* name) {
  EnsureCenterResources();
  return PaletteIcon(QStringLiteral(":/markers/") + QLatin1String(name) + QStringLiteral(".svg"),
                     QApplication::palette())
      .pixmap(16, 16);
}

}  // namespace

QFont ListFont() {
  QFont font(QStringLiteral("Verdana"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(14);
  font.setWeight(QFont::Normal);
  return font;
}

ValueBarDelegate::ValueBarDelegate(QObject* parent)
    : QStyledItemDelegate(parent),
      font_(ListFont()),
      colours_(CenterColoursOf(QApplication::palette())),
      devicePixmap_(MarkerPixmap("device")),
      buttonPixmap_(MarkerPixmap("button")) {}

QSize ValueBarDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
}

void ValueBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  if (OutsidePaintedArea(*painter, option.rect)) {
    return;
  }
  const bool focused = option.state & QStyle::State_HasFocus;
  const bool highlighted =
      option.state & (QStyle::State_HasFocus | QStyle::State_MouseOver | QStyle::State_Selected);
  const QRect cell = option.rect;

  painter->save();
  const QColor row = ToQColor(highlighted ? colours_.highlight : colours_.row);
  painter->fillRect(cell, row);
  if (focused) {
    // The focus frame runs round the whole line: top and bottom on every cell, the ends on the
    // first and last.
    painter->setPen(ToQColor(colours_.focusFrame));
    painter->drawLine(cell.topLeft(), cell.topRight());
    painter->drawLine(cell.bottomLeft(), cell.bottomRight());
    if (index.column() == 0) painter->drawLine(cell.topLeft(), cell.bottomLeft());
    if (index.column() == DeviceListModel::FirmwareColumn)
      painter->drawLine(cell.topRight(), cell.bottomRight());
  }
  painter->setFont(font_);
  painter->setPen(ToQColor(colours_.text));
  switch (index.column()) {
    case DeviceListModel::NameColumn:
      PaintName(*painter, cell, index);
      break;
    case DeviceListModel::ValueColumn:
      if (index.data(DeviceListModel::BarFractionRole).isValid()) {
        PaintBar(*painter, cell, index, highlighted, focused);
      }
      break;
    case DeviceListModel::SerialColumn:
    case DeviceListModel::FirmwareColumn:
      PaintText(*painter, cell, 3, index.data(Qt::DisplayRole).toString());
      break;
    default:
      break;
  }
  painter->restore();
}

void ValueBarDelegate::PaintName(QPainter& painter, const QRect& cell,
                                 const QModelIndex& index) const {
  const int middle = cell.top() + (cell.height() - 16) / 2;
  const auto marker = static_cast<LineMarker>(index.data(DeviceListModel::MarkerRole).toInt());
  const QString name = index.data(Qt::DisplayRole).toString();
  switch (marker) {
    case LineMarker::Device:
      painter.drawPixmap(cell.left(), middle, devicePixmap_);
      PaintText(painter, cell, 16, name);
      return;
    case LineMarker::Button:
      painter.drawPixmap(cell.left() + 21, middle, buttonPixmap_);
      break;
    case LineMarker::Brake:
    case LineMarker::Accelerator:
    case LineMarker::Clutch:
    case LineMarker::Handbrake:
      painter.fillRect(QRect(cell.left() + 25, cell.top() + (cell.height() - 7) / 2, 7, 7),
                       ToQColor(MarkerColour(marker)));
      break;
    case LineMarker::Other:
      break;
  }
  PaintText(painter, cell, 38, name);
}

void ValueBarDelegate::PaintBar(QPainter& painter, const QRect& cell, const QModelIndex& index,
                                bool highlighted, bool focused) const {
  // The bar's frame sits one pixel inside the cell, the bar one pixel inside its frame.
  const QRect frame = cell.adjusted(1, 1, -1, -1);
  painter.fillRect(frame, ToQColor(highlighted ? colours_.highlight : colours_.row));
  const QRect bar = frame.adjusted(focused ? 2 : 1, 1, focused ? -2 : -1, -1);
  painter.fillRect(bar, ToQColor(colours_.row));
  const double fraction = index.data(DeviceListModel::BarFractionRole).toDouble();
  const int filled =
      std::min(static_cast<int>(fraction * BarPixels(cell.width()) + 0.5), bar.width() - 2);
  if (filled > 0) {
    const QColor fill = index.data(DeviceListModel::BarColourRole).value<QColor>();
    const QRect filledPart(bar.left() + 1, bar.top() + 1, filled, bar.height() - 2);
    painter.fillRect(filledPart, fill);
    if (BarNeedsEdge(ToRgb(fill), colours_.row)) {
      painter.setPen(ToQColor(colours_.text));
      painter.drawRect(filledPart.adjusted(0, 0, -1, -1));
    }
  }
  painter.setPen(ToQColor(colours_.barFrame));
  painter.drawRect(bar.adjusted(0, 0, -1, -1));
}

void ValueBarDelegate::PaintText(QPainter& painter, const QRect& cell, int inset,
                                 const QString& text) const {
  const QRect area = cell.adjusted(inset, 1, -2, 0);
  const QString shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, area.width());
  painter.drawText(area, Qt::AlignLeft | Qt::AlignTop, shown);
}

}  // namespace Quorvane::Center
