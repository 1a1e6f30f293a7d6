#include "center/device/device_list.h"

namespace Quorvane::Device {

bool IsParentRow(const std::vector<QuorvaneDevice>& rows, std::size_t index) {
  return index + 1 < rows.size() && rows[index + 1].devicePath == rows[index].devicePath &&
         rows[index + 1].channelIndex == rows[index].channelIndex;
}

}  // namespace Quorvane::Device
