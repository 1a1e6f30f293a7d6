#include "center/app/value_bar_delegate.h"

#include <QPainter>

#include "center/app/center_resources.h"
#include "center/app/device_list_model.h"
#include "center/app/device_list_view.h"

namespace Quorvane::Center {
namespace {

const QColor kHighlight(205, 231, 255);
const QColor kFocusFrame(150, 150, 150);
const QColor kTextColour(16, 16, 16);
const QColor kBarFrame(160, 160, 160);

QColor ToQColor(Ui::Rgb colour) { return {colour.red, colour.green, colour.blue}; }

QPixmap MarkerPixmap(const char* name) {
  EnsureCenterResources();
  return QIcon(QStringLiteral(":/markers/") + QLatin1String(name) + QStringLiteral(".svg"))
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

ValueBarDelegate::ValueBarDelegate(const DeviceListView& view, QObject* parent)
    : QStyledItemDelegate(parent),
      view_(view),
      font_(ListFont()),
      devicePixmap_(MarkerPixmap("device")),
      buttonPixmap_(MarkerPixmap("button")) {}

QSize ValueBarDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
}

void ValueBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  const auto* model = static_cast<const DeviceListModel*>(index.model());
  if (index.row() >= static_cast<int>(model->Lines().size())) {
    return;
  }
  // A live value repaints only its bar; the row's other cells are drawn already.
  if (!view_.PaintRegion().isEmpty() && !view_.PaintRegion().intersects(option.rect)) {
    return;
  }
  const ListLine& line = model->Line(index.row());
  const bool focused = view_.currentIndex().row() == index.row() && view_.currentIndex().isValid();
  const bool highlighted =
      focused || view_.HotRow() == index.row() || (option.state & QStyle::State_Selected);
  const QRect cell = option.rect;

  painter->save();
  painter->fillRect(cell, highlighted ? kHighlight : Qt::white);
  if (focused) {
    // The focus frame runs round the whole line: top and bottom on every cell, the ends on the
    // first and last.
    painter->setPen(kFocusFrame);
    painter->drawLine(cell.topLeft(), cell.topRight());
    painter->drawLine(cell.bottomLeft(), cell.bottomRight());
    if (index.column() == 0) painter->drawLine(cell.topLeft(), cell.bottomLeft());
    if (index.column() == DeviceListModel::FirmwareColumn)
      painter->drawLine(cell.topRight(), cell.bottomRight());
  }
  painter->setFont(font_);
  painter->setPen(kTextColour);
  switch (index.column()) {
    case DeviceListModel::NameColumn:
      PaintName(*painter, cell, line);
      break;
    case DeviceListModel::ValueColumn:
      if (line.hasValueBar) PaintBar(*painter, cell, line, highlighted, focused);
      break;
    case DeviceListModel::SerialColumn:
      PaintText(*painter, cell, 3, QString::fromStdString(line.serial));
      break;
    case DeviceListModel::FirmwareColumn:
      PaintText(*painter, cell, 3, QString::fromStdString(line.firmware));
      break;
    default:
      break;
  }
  painter->restore();
}

void ValueBarDelegate::PaintName(QPainter& painter, const QRect& cell, const ListLine& line) const {
  const int middle = cell.top() + (cell.height() - 16) / 2;
  switch (line.marker) {
    case LineMarker::Device:
      painter.drawPixmap(cell.left(), middle, devicePixmap_);
      PaintText(painter, cell, 16, QString::fromStdString(line.name));
      return;
    case LineMarker::Button:
      painter.drawPixmap(cell.left() + 21, middle, buttonPixmap_);
      break;
    case LineMarker::Brake:
    case LineMarker::Accelerator:
    case LineMarker::Clutch:
    case LineMarker::Handbrake:
      painter.fillRect(QRect(cell.left() + 25, cell.top() + (cell.height() - 7) / 2, 7, 7),
                       ToQColor(MarkerColour(line.marker)));
      break;
    case LineMarker::Other:
      break;
  }
  PaintText(painter, cell, 38, QString::fromStdString(line.name));
}

void ValueBarDelegate::PaintBar(QPainter& painter, const QRect& cell, const ListLine& line,
                                bool highlighted, bool focused) const {
  // The bar's frame sits one pixel inside the cell, the bar one pixel inside its frame.
  const QRect frame = cell.adjusted(1, 1, -1, -1);
  painter.fillRect(frame, highlighted ? kHighlight : Qt::white);
  const QRect bar = frame.adjusted(focused ? 2 : 1, 1, focused ? -2 : -1, -1);
  painter.fillRect(bar, Qt::white);
  const double fraction = BarFraction(line.value, line.minimum, line.maximum);
  const int filled =
      std::min(static_cast<int>(fraction * BarPixels(cell.width()) + 0.5), bar.width() - 2);
  if (filled > 0) {
    painter.fillRect(QRect(bar.left() + 1, bar.top() + 1, filled, bar.height() - 2),
                     ToQColor(line.barColour));
  }
  painter.setPen(kBarFrame);
  painter.drawRect(bar.adjusted(0, 0, -1, -1));
}

void ValueBarDelegate::PaintText(QPainter& painter, const QRect& cell, int inset,
                                 const QString& text) const {
  const QRect area = cell.adjusted(inset, 1, -2, 0);
  const QString shown = painter.fontMetrics().elidedText(text, Qt::ElideRight, area.width());
  painter.drawText(area, Qt::AlignLeft | Qt::AlignTop, shown);
}

}  // namespace Quorvane::Center
