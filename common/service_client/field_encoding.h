// How text fields travel: the center's service fields (UTF-16LE, scrambled, Base64) and the
// Base64 text fields of documents and stores (UTF-16LE, Base64, not scrambled).
#pragma once

#include <string>
#include <string_view>

namespace Quorvane::Service {

// The text's UTF-16LE bytes, each scrambled, in Base64. Throws HvxException for text that is
// not valid UTF-8.
std::string EncodeServiceText(std::string_view text);

// What a decoder does with UTF-16 that is not valid: our own files are refused (HvxException),
// text from the service gets U+FFFD for each broken character.
enum class Utf16Errors { Refuse, Replace };

// Base64-decode, unscramble, read as UTF-16LE up to the first zero unit, broken characters
// replaced. Throws HvxException "CryptStringToBinary failed" for bad Base64.
std::string DecodeServiceText(std::string_view text);

// Base64-decode and unscramble, nothing appended. Throws as DecodeServiceText.
std::string DecodeServiceBytes(std::string_view text);

// The text's UTF-16LE bytes in Base64; empty text gives empty text.
std::string Base64EncodeText(std::string_view text);

// Empty gives empty; otherwise Base64-decode and read as UTF-16LE up to the first zero unit.
std::string Base64DecodeText(std::string_view text, Utf16Errors errors = Utf16Errors::Refuse);

}  // namespace Quorvane::Service
