#include "common/platform/utf16.h"

#include <cstdint>

namespace Quorvane::Platform {
namespace {

// Decodes one code point at text[index], advancing index; -1 when the sequence is invalid.
std::int32_t DecodeUtf8(std::string_view text, std::size_t& index) {
  const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(text[at]); };
  const std::uint8_t lead = byte(index);
  if (lead < 0x80) {
    ++index;
    return lead;
  }
  std::size_t length;
  std::uint32_t codePoint;
  std::uint32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, codePoint = lead & 0x1Fu, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, codePoint = lead & 0x0Fu, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, codePoint = lead & 0x07u, minimum = 0x10000;
  } else {
    return -1;
  }
  if (index + length > text.size()) {
    return -1;
  }
  for (std::size_t offset = 1; offset < length; ++offset) {
    const std::uint8_t continuation = byte(index + offset);
    if ((continuation & 0xC0) != 0x80) {
      return -1;
    }
    codePoint = (codePoint << 6) | (continuation & 0x3Fu);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    return -1;
  }
  index += length;
  return static_cast<std::int32_t>(codePoint);
}

constexpr std::uint32_t kReplacementCharacter = 0xFFFD;

// Decodes UTF-16 units; an unpaired surrogate fails the whole text, or becomes U+FFFD when
// `replace` is set.
template <typename UnitAt>
std::optional<std::string> DecodeUtf16(std::size_t count, UnitAt unitAt, bool replace = false) {
  std::string out;
  out.reserve(count);
  for (std::size_t index = 0; index < count; ++index) {
    const std::uint32_t unit = unitAt(index);
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const std::uint32_t low = high && index + 1 < count ? unitAt(index + 1) : 0;
    if (high && low >= 0xDC00 && low <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
      ++index;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      if (!replace) {
        return std::nullopt;
      }
      AppendUtf8(out, kReplacementCharacter);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::uint32_t LittleEndianUnit(std::string_view bytes, std::size_t index) {
  return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[2 * index])) |
         (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[2 * index + 1])) << 8);
}

template <typename EmitUnit>
bool EncodeUtf16(std::string_view text, EmitUnit emit) {
  for (std::size_t index = 0; index < text.size();) {
    const std::int32_t codePoint = DecodeUtf8(text, index);
    if (codePoint < 0) {
      return false;
    }
    if (codePoint >= 0x10000) {
      const auto offset = static_cast<std::uint32_t>(codePoint - 0x10000);
      emit(static_cast<char16_t>(0xD800 + (offset >> 10)));
      emit(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
    } else {
      emit(static_cast<char16_t>(codePoint));
    }
  }
  return true;
}

}  // namespace

void AppendUtf8(std::string& out, std::uint32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  if (!EncodeUtf16(text, [&](char16_t unit) { out += unit; })) {
    return std::nullopt;
  }
  return out;
}

std::optional<std::string> Utf8ToUtf16LeBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  if (!EncodeUtf16(text, [&](char16_t unit) {
        out += static_cast<char>(unit & 0xFF);
        out += static_cast<char>(unit >> 8);
      })) {
    return std::nullopt;
  }
  return out;
}

std::optional<std::string> Utf16LeBytesToUtf8(std::string_view bytes) {
  if (bytes.size() % 2 != 0) {
    return std::nullopt;
  }
  return DecodeUtf16(bytes.size() / 2,
                     [&](std::size_t index) { return LittleEndianUnit(bytes, index); });
}

std::string Utf8OrLatin1(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t index = 0; index < bytes.size();) {
    const std::size_t start = index;
    if (const std::int32_t codePoint = DecodeUtf8(bytes, index); codePoint >= 0) {
      out.append(bytes.substr(start, index - start));
    } else {
      AppendUtf8(out, static_cast<std::uint8_t>(bytes[start]));
      index = start + 1;
    }
  }
  return out;
}

std::string Utf16LeBytesToUtf8Replacing(std::string_view bytes) {
  return *DecodeUtf16(
      bytes.size() / 2, [&](std::size_t index) { return LittleEndianUnit(bytes, index); }, true);
}

}  // namespace Quorvane::Platform
