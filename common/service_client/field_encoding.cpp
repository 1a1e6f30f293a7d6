#include "common/service_client/field_encoding.h"

#include "common/diagnostics/hvx_exception.h"
#include "common/platform/utf16.h"
#include "common/service_client/base64.h"
#include "common/service_client/scramble.h"

namespace Quorvane::Service {
namespace {

using Halvex::Exceptions::HvxException;

constexpr const char* kBase64Failure = "CryptStringToBinary failed";

std::string Utf16LeBytes(std::string_view text) {
  auto bytes = Platform::Utf8ToUtf16LeBytes(text);
  if (!bytes) {
    throw HvxException("Text is not valid UTF-8");
  }
  return std::move(*bytes);
}

std::string DecodeBase64OrThrow(std::string_view text) {
  auto bytes = Base64Decode(text);
  if (!bytes) {
    throw HvxException(kBase64Failure);
  }
  return std::move(*bytes);
}

// UTF-16LE bytes up to the first zero unit (an odd last byte is dropped, as a reader of whole
// units would never see it).
std::string TextUpToFirstZeroUnit(std::string_view bytes, Utf16Errors errors) {
  std::size_t units = bytes.size() / 2;
  for (std::size_t unit = 0; unit < units; ++unit) {
    if (bytes[2 * unit] == '\0' && bytes[2 * unit + 1] == '\0') {
      units = unit;
      break;
    }
  }
  if (errors == Utf16Errors::Replace) {
    return Platform::Utf16LeBytesToUtf8Replacing(bytes.substr(0, 2 * units));
  }
  auto text = Platform::Utf16LeBytesToUtf8(bytes.substr(0, 2 * units));
  if (!text) {
    throw HvxException("Decoded text is not valid UTF-16");
  }
  return std::move(*text);
}

}  // namespace

std::string EncodeServiceText(std::string_view text) {
  return Base64Encode(ScrambleBytes(Utf16LeBytes(text)));
}

std::string DecodeServiceText(std::string_view text) {
  std::string bytes = DecodeBase64OrThrow(text);
  UnscrambleInPlace(bytes);
  return TextUpToFirstZeroUnit(bytes, Utf16Errors::Replace);
}

std::string DecodeServiceBytes(std::string_view text) {
  std::string bytes = DecodeBase64OrThrow(text);
  UnscrambleInPlace(bytes);  // in place: images can be large
  return bytes;
}

std::string Base64EncodeText(std::string_view text) {
  return text.empty() ? std::string() : Base64Encode(Utf16LeBytes(text));
}

std::string Base64DecodeText(std::string_view text, Utf16Errors errors) {
  return text.empty() ? std::string() : TextUpToFirstZeroUnit(DecodeBase64OrThrow(text), errors);
}

}  // namespace Quorvane::Service
