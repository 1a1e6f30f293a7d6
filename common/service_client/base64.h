// Base64 in the plain form the service and the stores use: no header, a CR LF after every 64
// characters and after the last line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Quorvane::Service {

// Empty input gives empty text.
std::string Base64Encode(std::string_view bytes);

// Accepts CR and LF anywhere between the characters; refuses anything else that is not Base64
// (other characters, bad padding, a length that is not a whole number of groups).
std::optional<std::string> Base64Decode(std::string_view text);

// The same decoding for text that arrives in pieces of any size: a group may be split across
// pieces. Accepts exactly what Base64Decode accepts for the pieces joined.
class Base64StreamDecoder {
 public:
  // Appends the bytes the piece completes to `out`; false once the text is no Base64 (then every
  // later call fails too).
  bool Feed(std::string_view piece, std::string& out);
  // The same into memory with room for RoomFor(piece.size()) bytes from `write` on, which is left
  // after the last byte written (what lies beyond it may be overwritten too).
  bool Feed(std::string_view piece, std::uint8_t*& write);
  static constexpr std::size_t RoomFor(std::size_t characters) {
    return (characters + 3) / 4 * 3 + kOverwritten;
  }
  // After the last piece: false when the text ended inside a group.
  bool Finish() const { return !failed_ && pending_ == 0; }

 private:
  // Blocks decoded at once write at most this many bytes beyond their own.
  static constexpr std::size_t kOverwritten = 8;
  bool FeedCarefully(std::uint8_t character, std::uint8_t*& write);

  std::uint32_t values_[4] = {};
  std::size_t pending_ = 0;  // characters of the group under way, padding included
  std::size_t padding_ = 0;
  bool ended_ = false;  // padding was seen: only line breaks may follow
  bool failed_ = false;
};

}  // namespace Quorvane::Service
