// The controller list as a table model: one line per device-list row, four columns. It holds a
// copy of the lines; live values reach it from the window's frame timer.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "center/app/list_display.h"

namespace Quorvane::Center {

class DeviceListModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column {
    NameColumn = 0,
    ValueColumn = 1,
    SerialColumn = 2,
    FirmwareColumn = 3,
    ColumnCount = 4
  };
  // What the delegate paints besides the texts: the line's marker (an int of LineMarker, in the
  // name column) and, in the value column of a line with a bar, its filled share and colour.
  enum Role {
    MarkerRole = Qt::UserRole + 1,
    BarFractionRole,
    BarColourRole,
  };

  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void Reset(std::vector<ListLine> lines);
  // A live value; true when it moves the row's bar by at least one pixel (the caller repaints).
  bool SetValue(std::size_t row, std::uint32_t value);
  // How many pixels a bar is wide: values that move it less are kept but not repainted.
  void SetBarPixels(int pixels) { barPixels_ = pixels; }
  const ListLine& Line(int row) const { return lines_[static_cast<std::size_t>(row)]; }
  const std::vector<ListLine>& Lines() const { return lines_; }

 private:
  std::vector<ListLine> lines_;
  int barPixels_ = 4096;
};

}  // namespace Quorvane::Center
