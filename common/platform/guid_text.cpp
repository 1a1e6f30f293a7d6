#include "common/platform/guid_text.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>

namespace Quorvane::Platform {

std::string FormatGuidText(const std::array<std::uint8_t, 16>& b) {
  const unsigned long data1 =
      static_cast<unsigned long>(b[0]) | (static_cast<unsigned long>(b[1]) << 8) |
      (static_cast<unsigned long>(b[2]) << 16) | (static_cast<unsigned long>(b[3]) << 24);
  const unsigned data2 = static_cast<unsigned>(b[4] | (b[5] << 8));
  const unsigned data3 = static_cast<unsigned>(b[6] | (b[7] << 8));
  char text[39];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04x-%02X%02X-%02X%02X%02X%02X%02X%02X}", data1,
                data2, data3, b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
  return text;
}

std::string MakeGuidText() {
  std::array<std::uint8_t, 16> bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t count = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      return {};
    }
    filled += static_cast<std::size_t>(count);
  }
  // Version 4 in the top bits of the third field (little-endian, so byte 7), RFC variant in byte 8.
  bytes[7] = static_cast<std::uint8_t>((bytes[7] & 0x0F) | 0x40);
  bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
  return FormatGuidText(bytes);
}

}  // namespace Quorvane::Platform
