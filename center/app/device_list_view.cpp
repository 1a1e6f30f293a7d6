#include "center/app/device_list_view.h"

#include <QAccessible>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include "center/app/colour_palette.h"
#include "center/app/device_list_model.h"
#include "center/app/value_bar_delegate.h"

namespace Quorvane::Center {

DeviceListView::DeviceListView(DeviceListModel& model, QWidget* parent) : QTreeView(parent) {
  setModel(&model);
  setAccessibleName(QStringLiteral("Controllers"));
  setItemDelegate(new ValueBarDelegate(this));
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // The row under the pointer is shown highlighted: the view tells the delegate through the
  // item's hover state.
  setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_Hover);
  setFrameShape(QFrame::NoFrame);
  const CenterColours colours = CenterColoursOf(palette());
  QPalette rows = palette();
  rows.setColor(QPalette::Base, ToQColor(colours.row));
  rows.setColor(QPalette::Text, ToQColor(colours.text));
  setPalette(rows);

  QHeaderView* columns = header();
  columns->setStretchLastSection(false);
  columns->setSectionsMovable(false);
  columns->setMinimumSectionSize(
      kMinimumWidths[3]);  // the smallest; each column keeps its own below
  for (int column = 0; column < 4; ++column) {
    columns->setSectionResizeMode(column,
                                  column < 2 ? QHeaderView::Interactive : QHeaderView::Fixed);
    columns->resizeSection(column, kWidths[column]);
  }
  connect(columns, &QHeaderView::sectionResized, this, &DeviceListView::KeepMinimumWidth);
  model.SetBarPixels(ValueBarDelegate::BarPixels(kWidths[1]));
}

void DeviceListView::KeepMinimumWidth(int column, int, int newSize) {
  if (column >= 0 && column < 4 && newSize < kMinimumWidths[column]) {
    header()->resizeSection(column, kMinimumWidths[column]);
    return;
  }
  if (column == 1) {
    static_cast<DeviceListModel*>(model())->SetBarPixels(ValueBarDelegate::BarPixels(newSize));
  }
}

void DeviceListView::Unselect() {
  clearSelection();
  setCurrentIndex(QModelIndex());
}

void DeviceListView::RedrawValues(int firstRow, int lastRow) {
  const QRect first = visualRect(model()->index(firstRow, 1));
  const QRect last = visualRect(model()->index(lastRow, 1));
  viewport()->update(first.united(last));
}

void DeviceListView::AnnounceCurrentValue() {
  if (!QAccessible::isActive() || !currentIndex().isValid() ||
      (sinceAnnounced_.isValid() && sinceAnnounced_.elapsed() < 500)) {
    return;
  }
  const QModelIndex cell = model()->index(currentIndex().row(), DeviceListModel::ValueColumn);
  const QString text = cell.data(Qt::AccessibleTextRole).toString();
  if (text.isEmpty() || text == announced_) return;
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(this);
  QAccessibleTableInterface* table = list ? list->tableInterface() : nullptr;
  if (QAccessibleInterface* item = table ? table->cellAt(cell.row(), cell.column()) : nullptr) {
    QAccessibleEvent changed(item, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
    announced_ = text;
    sinceAnnounced_.start();
  }
}

bool DeviceListView::event(QEvent* event) {
  // The About dialog's keys belong to the window, not to the list's search by typing.
  if (event->type() == QEvent::ShortcutOverride) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Slash || key == Qt::Key_Question) {
      return false;
    }
  }
  return QTreeView::event(event);
}

void DeviceListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  if (current.isValid() && current.row() != previous.row()) {
    emit RowClicked(current.row());
  }
}

void DeviceListView::mousePressEvent(QMouseEvent* event) {
  QTreeView::mousePressEvent(event);
  const QModelIndex clicked = indexAt(event->position().toPoint());
  if (clicked.isValid()) {
    emit RowClicked(clicked.row());
  } else {
    Unselect();
    emit NothingClicked();
  }
}

}  // namespace Quorvane::Center
