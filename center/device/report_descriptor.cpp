#include "center/device/report_descriptor.h"

#include <vector>

namespace Quorvane::Device {
namespace {

constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::uint8_t kTypeMain = 0;
constexpr std::uint8_t kTypeGlobal = 1;
constexpr std::uint8_t kTagInput = 0x8;
constexpr std::uint8_t kTagLogicalMinimum = 0x1;
constexpr std::uint8_t kTagLogicalMaximum = 0x2;
constexpr std::uint8_t kTagReportSize = 0x7;
constexpr std::uint8_t kTagPush = 0xA;
constexpr std::uint8_t kTagPop = 0xB;
constexpr std::uint32_t kInputConstant = 0x1;
constexpr std::uint32_t kInputVariable = 0x2;
constexpr std::size_t kMaxPushDepth = 32;

struct GlobalState {
  std::int32_t logicalMinimum = 0;
  std::int32_t logicalMaximum = 0;
  std::uint32_t reportSize = 0;
};

// Little-endian item data of 0, 1, 2 or 4 bytes.
std::uint32_t Unsigned(std::span<const std::uint8_t> data) {
  std::uint32_t value = 0;
  for (std::size_t at = 0; at < data.size(); ++at) {
    value |= static_cast<std::uint32_t>(data[at]) << (8 * at);
  }
  return value;
}

// Logical limits are signed in the width they were given in.
std::int32_t Signed(std::span<const std::uint8_t> data) {
  switch (data.size()) {
    case 1:
      return static_cast<std::int8_t>(data[0]);
    case 2:
      return static_cast<std::int16_t>(Unsigned(data));
    case 4:
      return static_cast<std::int32_t>(Unsigned(data));
    default:
      return 0;
  }
}

}  // namespace

std::optional<LogicalRange> FirstInputValueRange(std::span<const std::uint8_t> descriptor) {
  GlobalState state;
  std::vector<GlobalState> stack;
  std::size_t at = 0;
  while (at < descriptor.size()) {
    const std::uint8_t prefix = descriptor[at];
    if (prefix == kLongItemPrefix) {
      // Long items carry their size in the next byte; none of them matters here.
      if (at + 2 >= descriptor.size()) {
        return std::nullopt;
      }
      at += 3u + descriptor[at + 1];
      continue;
    }
    const std::size_t size = (prefix & 0x3) == 3 ? 4 : (prefix & 0x3);
    if (at + 1 + size > descriptor.size()) {
      return std::nullopt;
    }
    const auto data = descriptor.subspan(at + 1, size);
    const std::uint8_t type = (prefix >> 2) & 0x3;
    const std::uint8_t tag = prefix >> 4;
    at += 1 + size;

    if (type == kTypeGlobal) {
      switch (tag) {
        case kTagLogicalMinimum:
          state.logicalMinimum = Signed(data);
          break;
        case kTagLogicalMaximum:
          state.logicalMaximum = Signed(data);
          break;
        case kTagReportSize:
          state.reportSize = Unsigned(data);
          break;
        case kTagPush:
          if (stack.size() < kMaxPushDepth) stack.push_back(state);
          break;
        case kTagPop:
          if (!stack.empty()) {
            state = stack.back();
            stack.pop_back();
          }
          break;
        default:
          break;
      }
    } else if (type == kTypeMain && tag == kTagInput) {
      const std::uint32_t flags = Unsigned(data);
      if ((flags & kInputConstant) == 0 && (flags & kInputVariable) != 0 && state.reportSize > 1) {
        return LogicalRange{state.logicalMinimum, state.logicalMaximum};
      }
    }
  }
  return std::nullopt;
}

}  // namespace Quorvane::Device
