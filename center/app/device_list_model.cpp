#include "center/app/device_list_model.h"

#include <QColor>

namespace Quorvane::Center {

int DeviceListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int DeviceListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeviceListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= static_cast<int>(lines_.size())) {
    return {};
  }
  const ListLine& line = Line(index.row());
  if (role == MarkerRole && index.column() == NameColumn) {
    return static_cast<int>(line.marker);
  }
  if (line.hasValueBar && index.column() == ValueColumn) {
    const double fraction = BarFraction(line.value, line.minimum, line.maximum);
    if (role == BarFractionRole) return fraction;
    // What a screen reader says of the bar: a button pressed or not, a pedal's share of its
    // calibrated range.
    if (role == Qt::AccessibleTextRole) {
      if (line.marker == LineMarker::Button) {
        return fraction >= 0.5 ? QStringLiteral("pressed") : QStringLiteral("released");
      }
      return QStringLiteral("%1 %").arg(static_cast<int>(fraction * 100 + 0.5));
    }
    if (role == BarColourRole) {
      return QColor(line.barColour.red, line.barColour.green, line.barColour.blue);
    }
  }
  if (role == Qt::DisplayRole) {
    switch (index.column()) {
      case NameColumn:
        return QString::fromStdString(line.name);
      case ValueColumn:
        return line.hasValueBar ? QVariant(static_cast<qulonglong>(line.value)) : QVariant();
      case SerialColumn:
        return QString::fromStdString(line.serial);
      case FirmwareColumn:
        return QString::fromStdString(line.firmware);
      default:
        return {};
    }
  }
  return {};
}

QVariant DeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
    return {};
  }
  switch (section) {
    case NameColumn:
      return QStringLiteral("Name/Type");
    case ValueColumn:
      return QStringLiteral("Joystick Value");
    case SerialColumn:
      return QStringLiteral("Serial");
    case FirmwareColumn:
      return QStringLiteral("Firmware");
    default:
      return {};
  }
}

void DeviceListModel::Reset(std::vector<ListLine> lines) {
  beginResetModel();
  lines_ = std::move(lines);
  endResetModel();
}

bool DeviceListModel::SetValue(std::size_t row, std::uint32_t value) {
  if (row >= lines_.size() || !lines_[row].hasValueBar || lines_[row].value == value) {
    return false;
  }
  ListLine& line = lines_[row];
  const auto pixel = [&](std::uint32_t shown) {
    return static_cast<int>(BarFraction(shown, line.minimum, line.maximum) * barPixels_ + 0.5);
  };
  const bool moves = pixel(value) != pixel(line.value);
  line.value = value;
  return moves;
}

}  // namespace Quorvane::Center
