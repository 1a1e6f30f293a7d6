#include "common/service_client/base64.h"

#include <array>
#include <cstdint>

#include "common/platform/simd_level.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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

#if defined(__x86_64__)
// The block decoders' tables, one 16-byte lane each: the class of a character's low and high
// nibble (a character of the alphabet has none in common), what to add to a character for its
// six bits, and where each decoded byte goes.
alignas(16) constexpr std::int8_t kLowerClasses[16] = {
    0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A};
alignas(16) constexpr std::int8_t kUpperClasses[16] = {
    0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10};
alignas(16) constexpr std::int8_t kShifts[16] = {0, 16, 19, 4, -65, -65, -71, -71,
                                                 0, 0,  0,  0, 0,   0,   0,   0};
alignas(16) constexpr std::int8_t kByteOrder[16] = {2, 1,  0,  6,  5,  4,  10, 9,
                                                    8, 14, 13, 12, -1, -1, -1, -1};

__m128i Lane(const std::int8_t (&table)[16]) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(table));
}

// Sixteen Base64 characters to twelve bytes with SSE4.1, when all sixteen are of the alphabet
// (anything else, a line break or padding, is left to the scalar code). Writes sixteen bytes, of
// which the last four are not part of the result.
__attribute__((target("sse4.1"))) inline bool DecodeSixteen(const std::uint8_t* in,
                                                            std::uint8_t* out) {
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
  const __m128i slash = _mm_set1_epi8(0x2F);
  const __m128i upper = _mm_and_si128(_mm_srli_epi32(text, 4), slash);
  const __m128i lowerClass = _mm_shuffle_epi8(Lane(kLowerClasses), _mm_and_si128(text, slash));
  const __m128i upperClass = _mm_shuffle_epi8(Lane(kUpperClasses), upper);
  if (!_mm_testz_si128(lowerClass, upperClass)) {
    return false;
  }
  const __m128i shift =
      _mm_shuffle_epi8(Lane(kShifts), _mm_add_epi8(_mm_cmpeq_epi8(text, slash), upper));
  const __m128i values = _mm_add_epi8(text, shift);
  const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
  const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(groups, Lane(kByteOrder)));
  return true;
}

// Blocks of characters of the alphabet, and the CR LF of a line between two of them, until
// anything else comes or fewer than a block's characters are left; the characters read. Called
// between whole groups only.
template <std::size_t kCharacters, bool (*kDecode)(const std::uint8_t*, std::uint8_t*)>
[[gnu::always_inline]] inline std::size_t DecodeBlocks(const std::uint8_t* in, std::size_t size,
                                                       std::uint8_t*& write) {
  std::size_t read = 0;
  while (read + kCharacters <= size) {
    if (in[read] == '\r' && in[read + 1] == '\n') {
      read += 2;
    } else if (kDecode(in + read, write)) {
      read += kCharacters;
      write += kCharacters / 4 * 3;
    } else {
      break;
    }
  }
  return read;
}

__attribute__((target("sse4.1"))) std::size_t DecodeBlocksSse41(const std::uint8_t* in,
                                                                std::size_t size,
                                                                std::uint8_t*& write) {
  return DecodeBlocks<16, DecodeSixteen>(in, size, write);
}

#endif

// Decodes whole blocks at the start of the text with the widest instructions the processor has;
// the characters read.
std::size_t DecodeWide(const std::uint8_t* in, std::size_t size, std::uint8_t*& write) {
#if defined(__x86_64__)
  // Blocks of sixteen: the same-run benchmark (bench/simd_paths.sh) found thirty-two at a time
  // with AVX2 no faster (1.8-1.9 times the plain decoder either way).
  static const bool wide = Platform::ChosenSimdLevel() == Platform::SimdLevel::Sse;
  if (wide) {
    return DecodeBlocksSse41(in, size, write);
  }
#endif
  return 0;
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
  std::string out;
  out.reserve(text.size() / 4 * 3 + 3);
  Base64StreamDecoder decoder;
  if (!decoder.Feed(text, out) || !decoder.Finish()) {
    return std::nullopt;
  }
  return out;
}

bool Base64StreamDecoder::FeedCarefully(std::uint8_t character, std::uint8_t*& write) {
  if (IsLineBreak(character)) {
    return true;
  }
  if (ended_) {
    return false;  // padding ends the data: only line breaks may follow
  }
  if (character == '=') {
    if (pending_ - padding_ < 2) {
      return false;
    }
    ++padding_;
  } else {
    if (padding_ > 0 || Tables().value[character] == kInvalid) {
      return false;
    }
    values_[pending_ - padding_] = Tables().value[character];
  }
  if (++pending_ < 4) {
    return true;
  }
  const std::uint32_t group =
      (values_[0] << 18) | (values_[1] << 12) | (values_[2] << 6) | values_[3];
  const std::size_t count = 4 - padding_;
  *write++ = static_cast<std::uint8_t>(group >> 16);
  if (count > 2) *write++ = static_cast<std::uint8_t>(group >> 8);
  if (count > 3) *write++ = static_cast<std::uint8_t>(group);
  ended_ = padding_ > 0;
  pending_ = 0;
  padding_ = 0;
  values_[0] = values_[1] = values_[2] = values_[3] = 0;
  return true;
}

bool Base64StreamDecoder::Feed(std::string_view piece, std::string& out) {
  const std::size_t start = out.size();
  out.resize(start + RoomFor(piece.size()));
  auto* write = reinterpret_cast<std::uint8_t*>(out.data()) + start;
  const bool fed = Feed(piece, write);
  out.resize(fed ? static_cast<std::size_t>(write - reinterpret_cast<std::uint8_t*>(out.data()))
                 : start);
  return fed;
}

bool Base64StreamDecoder::Feed(std::string_view piece, std::uint8_t*& write) {
  if (failed_) {
    return false;
  }
  const DecodeTables& tables = Tables();
  const auto* in = reinterpret_cast<const std::uint8_t*>(piece.data());
  const std::size_t size = piece.size();
  std::size_t read = 0;
  while (read < size) {
    // Whole groups of four Base64 characters: the common case, decoded without branches.
    if (pending_ == 0 && !ended_) {
      read += DecodeWide(in + read, size - read, write);
      while (read + 4 <= size) {
        const std::uint32_t group = tables.shifted[0][in[read]] | tables.shifted[1][in[read + 1]] |
                                    tables.shifted[2][in[read + 2]] |
                                    tables.shifted[3][in[read + 3]];
        if (group & kInvalid) {
          // A line's CR LF between two whole groups: skipped without leaving the loop.
          if (in[read] == '\r' && read + 6 <= size && in[read + 1] == '\n') {
            read += 2;
            read += DecodeWide(in + read, size - read, write);
            continue;
          }
          break;
        }
        write[0] = static_cast<std::uint8_t>(group >> 16);
        write[1] = static_cast<std::uint8_t>(group >> 8);
        write[2] = static_cast<std::uint8_t>(group);
        write += 3;
        read += 4;
      }
      if (read == size) {
        break;
      }
    }
    // A line break, padding, or a group split by either or by the end of the piece.
    if (!FeedCarefully(in[read++], write)) {
      failed_ = true;
      return false;
    }
  }
  return true;
}

}  // namespace Quorvane::Service
