#include "common/service/base64.h"

#include <array>
#include <cstdint>

namespace Quorvane::Service {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t kLineCharacters = 64;
constexpr std::size_t kLineBytes = kLineCharacters / 4 * 3;
constexpr std::uint32_t kInvalid = 0x01000000;

// Four tables holding each character's six bits already shifted to its place in a group, so
// that a whole group decodes with four look-ups and three ORs. Anything that is not a Base64
// character carries kInvalid, which survives the ORs and sends the group to the careful path.
struct DecodeTables {
  std::array<std::uint32_t, 256> value{};
  std::array<std::uint32_t, 256> shifted[4]{};
  DecodeTables() {
    value.fill(kInvalid);
    for (std::uint32_t index = 0; index < 64; ++index) {
      value[static_cast<std::uint8_t>(kAlphabet[index])] = index;
    }
    for (std::size_t character = 0; character < 256; ++character) {
      const std::uint32_t bits = value[character];
      for (unsigned position = 0; position < 4; ++position) {
        shifted[position][character] = bits == kInvalid ? kInvalid : bits << (6 * (3 - position));
      }
    }
  }
};

const DecodeTables& Tables() {
  static const DecodeTables tables;
  return tables;
}

bool IsLineBreak(std::uint8_t character) { return character == '\r' || character == '\n'; }

void EncodeGroup(const std::uint8_t* in, std::size_t count, char* out) {
  const std::uint32_t group = (static_cast<std::uint32_t>(in[0]) << 16) |
                              (count > 1 ? static_cast<std::uint32_t>(in[1]) << 8 : 0) |
                              (count > 2 ? in[2] : 0u);
  out[0] = kAlphabet[(group >> 18) & 63];
  out[1] = kAlphabet[(group >> 12) & 63];
  out[2] = count > 1 ? kAlphabet[(group >> 6) & 63] : '=';
  out[3] = count > 2 ? kAlphabet[group & 63] : '=';
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  if (bytes.empty()) {
    return {};
  }
  const std::size_t characters = (bytes.size() + 2) / 3 * 4;
  const std::size_t lines = (characters + kLineCharacters - 1) / kLineCharacters;
  std::string out(characters + 2 * lines, '\0');
  const auto* in = reinterpret_cast<const std::uint8_t*>(bytes.data());
  char* write = out.data();
  for (std::size_t offset = 0; offset < bytes.size(); offset += kLineBytes) {
    const std::size_t lineEnd = std::min(bytes.size(), offset + kLineBytes);
    for (std::size_t at = offset; at < lineEnd; at += 3) {
      EncodeGroup(in + at, std::min<std::size_t>(3, lineEnd - at), write);
      write += 4;
    }
    *write++ = '\r';
    *write++ = '\n';
  }
  return out;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  const DecodeTables& tables = Tables();
  const auto* in = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t size = text.size();
  std::string out(size / 4 * 3 + 3, '\0');
  auto* write = reinterpret_cast<std::uint8_t*>(out.data());
  std::size_t read = 0;

  for (;;) {
    // Whole groups of four Base64 characters: the common case, decoded without branches.
    while (read + 4 <= size) {
      const std::uint32_t group = tables.shifted[0][in[read]] | tables.shifted[1][in[read + 1]] |
                                  tables.shifted[2][in[read + 2]] | tables.shifted[3][in[read + 3]];
      if (group & kInvalid) {
        break;
      }
      write[0] = static_cast<std::uint8_t>(group >> 16);
      write[1] = static_cast<std::uint8_t>(group >> 8);
      write[2] = static_cast<std::uint8_t>(group);
      write += 3;
      read += 4;
    }

    // A group with line breaks inside or around it, padding, or the end of the text.
    std::uint32_t values[4] = {};
    std::size_t count = 0;
    std::size_t padding = 0;
    while (read < size && count + padding < 4) {
      const std::uint8_t character = in[read++];
      if (IsLineBreak(character)) {
        continue;
      }
      if (character == '=') {
        if (count < 2) {
          return std::nullopt;
        }
        ++padding;
        continue;
      }
      if (padding > 0 || tables.value[character] == kInvalid) {
        return std::nullopt;
      }
      values[count++] = tables.value[character];
    }
    if (count + padding == 0) {
      break;  // only line breaks were left
    }
    if (count + padding < 4) {
      return std::nullopt;  // the text ends inside a group
    }
    const std::uint32_t group = (values[0] << 18) | (values[1] << 12) | (values[2] << 6) | values[3];
    *write++ = static_cast<std::uint8_t>(group >> 16);
    if (count > 2) *write++ = static_cast<std::uint8_t>(group >> 8);
    if (count > 3) *write++ = static_cast<std::uint8_t>(group);
    if (padding > 0) {
      // Padding ends the data: only line breaks may follow.
      for (; read < size; ++read) {
        if (!IsLineBreak(in[read])) {
          return std::nullopt;
        }
      }
      break;
    }
  }
  out.resize(static_cast<std::size_t>(write - reinterpret_cast<std::uint8_t*>(out.data())));
  return out;
}

}  // namespace Quorvane::Service
