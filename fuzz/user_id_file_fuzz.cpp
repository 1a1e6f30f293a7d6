// The user identifier file from arbitrary bytes: an identifier read from it is written back
// byte for byte as it was.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "center/messages/local_stores.h"
#include "common/platform/utf16.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  std::string reason;
  const auto id = Quorvane::Center::UserIdFromFileBytes(content, reason);
  if (!id) {
    if (reason.empty()) std::abort();  // a refusal always says why
    return 0;
  }
  if (Quorvane::Platform::Utf8ToUtf16LeBytes(*id) != content) {
    std::abort();
  }
  return 0;
}
