// Conversion between the programs' UTF-8 text and UTF-16 little-endian, the form texts take on
// the wire and in some files. Strict both ways (broken input is refused), except for the one
// reader of text from outside that replaces broken characters.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Quorvane::Platform {

// Appends a code point (up to U+10FFFF) as UTF-8.
void AppendUtf8(std::string& out, std::uint32_t codePoint);

// UTF-8 to UTF-16 code units; empty optional for invalid UTF-8 (bad bytes, overlong forms,
// encoded surrogates, code points above U+10FFFF, cut-off sequences).
std::optional<std::u16string> Utf8ToUtf16(std::string_view text);

// UTF-8 to the bytes of UTF-16LE (two bytes per unit, low byte first, no terminator).
std::optional<std::string> Utf8ToUtf16LeBytes(std::string_view text);

// Bytes of UTF-16LE to UTF-8; empty optional for an odd byte count or an unpaired surrogate.
std::optional<std::string> Utf16LeBytesToUtf8(std::string_view bytes);

// Bytes from a program's output as UTF-8: valid UTF-8 stays as it is, every other byte becomes
// the character of its value (Latin-1), so raw bytes and a character cut in two never make the
// text unusable.
std::string Utf8OrLatin1(std::string_view bytes);

// Bytes of UTF-16LE to UTF-8 for text from outside that must not be refused whole for one broken
// character: an unpaired surrogate becomes U+FFFD, an odd last byte is dropped.
std::string Utf16LeBytesToUtf8Replacing(std::string_view bytes);

}  // namespace Quorvane::Platform
