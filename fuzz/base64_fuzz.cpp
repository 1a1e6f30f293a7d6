// Base64 and the field decoders on arbitrary text: whatever decodes must encode back to text
// that decodes to the same bytes; failures must be the decoders' own exception.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "common/diagnostics/hvx_exception.h"
#include "common/service/base64.h"
#include "common/service/field_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace Quorvane::Service;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto bytes = Base64Decode(text)) {
    if (Base64Decode(Base64Encode(*bytes)) != *bytes) {
      std::abort();
    }
  }
  try {
    DecodeServiceText(text);
  } catch (const Halvex::Exceptions::HvxException&) {
  }
  try {
    Base64DecodeText(text);
  } catch (const Halvex::Exceptions::HvxException&) {
  }
  return 0;
}
