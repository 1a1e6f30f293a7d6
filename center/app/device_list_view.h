// The controller list: a row follows the pointer (shown selected while it is under it), a click
// selects a row, the name and value columns resize down to a minimum and the others not at all.
#pragma once

#include <QElapsedTimer>
#include <QTreeView>

namespace Quorvane::Center {

class DeviceListModel;

class DeviceListView final : public QTreeView {
  Q_OBJECT

 public:
  explicit DeviceListView(DeviceListModel& model, QWidget* parent = nullptr);

  // Column widths and their limits: 380 (at least 250), 220 (at least 100), 250 and 80 fixed.
  static constexpr int kWidths[4] = {380, 220, 250, 80};
  static constexpr int kMinimumWidths[4] = {250, 100, 250, 80};
  // Repaints the value cells of these lines as one area (one transfer to the display).
  void RedrawValues(int firstRow, int lastRow);
  // Forgets the selection (a rebuilt list starts with none).
  void Unselect();
  // Tells a screen reader the current line's value when it changed, at most twice a second (the
  // bars repaint without the model's change signals, which would cost every frame).
  void AnnounceCurrentValue();

 signals:
  // A click on a row, or on the list where no row is.
  void RowClicked(int row);
  void NothingClicked();

 protected:
  bool event(QEvent* event) override;
  // Moving through the list with the keyboard selects as a click does.
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void KeepMinimumWidth(int column, int oldSize, int newSize);

  QString announced_;
  QElapsedTimer sinceAnnounced_;
};

}  // namespace Quorvane::Center
