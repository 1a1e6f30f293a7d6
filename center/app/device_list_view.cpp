#include "center/app/device_list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>

#include "center/app/device_list_model.h"
#include "center/app/value_bar_delegate.h"

namespace Quorvane::Center {

DeviceListView::DeviceListView(DeviceListModel& model, QWidget* parent) : QTreeView(parent) {
  setModel(&model);
  setItemDelegate(new ValueBarDelegate(*this, this));
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setMouseTracking(true);
  setFrameShape(QFrame::NoFrame);
  QPalette colours = palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, QColor(16, 16, 16));
  setPalette(colours);

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

void DeviceListView::RedrawRow(int row) {
  if (row < 0 || !model() || row >= model()->rowCount()) {
    return;
  }
  const QRect first = visualRect(model()->index(row, 0));
  viewport()->update(QRect(0, first.top(), viewport()->width(), first.height()));
}

void DeviceListView::SetHotRow(int row) {
  if (row == hotRow_) {
    return;
  }
  const int previous = hotRow_;
  hotRow_ = row;
  RedrawRow(previous);
  RedrawRow(row);
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

void DeviceListView::paintEvent(QPaintEvent* event) {
  paintRegion_ = event->region();
  QTreeView::paintEvent(event);
  paintRegion_ = QRegion();
}

void DeviceListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeView::currentChanged(current, previous);
  if (current.isValid() && current.row() != previous.row()) {
    emit RowClicked(current.row());
  }
}

void DeviceListView::mouseMoveEvent(QMouseEvent* event) {
  SetHotRow(indexAt(event->position().toPoint()).row());
  QTreeView::mouseMoveEvent(event);
}

void DeviceListView::leaveEvent(QEvent* event) {
  // Leaving the list takes the pointer's highlight away; the clicked row stays marked.
  SetHotRow(-1);
  QTreeView::leaveEvent(event);
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
