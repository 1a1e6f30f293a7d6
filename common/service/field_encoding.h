// How text fields travel: the center's service fields (UTF-16LE, scrambled, Base64) and the
// Base64 text fields of documents and stores (UTF-16LE, Base64, not scrambled).
#pragma once

#include <string>
#include <string_view>

namespace Quorvane::Service {

// The text's UTF-16LE bytes, each scrambled, in Base64. Throws HvxException for text that is
// not valid UTF-8.
std::string EncodeServiceText(std::string_view text);

// Base64-decode, unscramble, read as UTF-16LE up to the first zero unit. Throws HvxException
// "CryptStringToBinary failed" for bad Base64; a decoded text that is not valid UTF-16 throws
// HvxException too rather than passing on damaged characters.
std::string DecodeServiceText(std::string_view text);

// Base64-decode and unscramble, nothing appended. Throws as DecodeServiceText.
std::string DecodeServiceBytes(std::string_view text);

// The text's UTF-16LE bytes in Base64; empty text gives empty text.
std::string Base64EncodeText(std::string_view text);

// Empty gives empty; otherwise Base64-decode and read as UTF-16LE up to the first zero unit.
std::string Base64DecodeText(std::string_view text);

}  // namespace Quorvane::Service
