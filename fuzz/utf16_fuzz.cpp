// Feeds arbitrary bytes to both directions of the UTF-16 conversion: whatever is accepted must
// convert back to the very same input.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/platform/utf16.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (auto bytes = Quorvane::Platform::Utf8ToUtf16LeBytes(input)) {
    if (Quorvane::Platform::Utf16LeBytesToUtf8(*bytes) != input) {
      std::abort();
    }
  }
  if (auto text = Quorvane::Platform::Utf16LeBytesToUtf8(input)) {
    if (Quorvane::Platform::Utf8ToUtf16LeBytes(*text) != input) {
      std::abort();
    }
  }
  return 0;
}
