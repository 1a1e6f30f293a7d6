// Base64 and the field decoders on arbitrary text: whatever decodes must encode back to text
// that decodes to the same bytes, and decode alike in three pieces and one character at a time;
// failures must be the decoders' own exception.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "common/diagnostics/hvx_exception.h"
#include "common/service_client/base64.h"
#include "common/service_client/field_encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace Quorvane::Service;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto whole = Base64Decode(text);
  if (whole && Base64Decode(Base64Encode(*whole)) != *whole) {
    std::abort();
  }
  const std::size_t first = size == 0 ? 0 : data[0] % (size + 1);
  const std::size_t second = first + (size - first) / 2;
  Base64StreamDecoder decoder;
  std::string pieces;
  const bool read = decoder.Feed(text.substr(0, first), pieces) &&
                    decoder.Feed(text.substr(first, second - first), pieces) &&
                    decoder.Feed(text.substr(second), pieces) && decoder.Finish();
  if ((read ? std::optional(pieces) : std::nullopt) != whole) {
    std::abort();
  }
  // One character at a time takes the plain path only: the fast paths must agree with it.
  Base64StreamDecoder plain;
  std::string characters;
  bool fed = true;
  for (std::size_t at = 0; at < size && fed; ++at) {
    fed = plain.Feed(text.substr(at, 1), characters);
  }
  if ((fed && plain.Finish() ? std::optional(characters) : std::nullopt) != whole) {
    std::abort();
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
