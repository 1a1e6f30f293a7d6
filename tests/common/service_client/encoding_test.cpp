#include <gtest/gtest.h>

#include <stdexcept>

#include "common/diagnostics/hvx_exception.h"
#include "common/service_client/access_token.h"
#include "common/service_client/base64.h"
#include "common/service_client/field_encoding.h"
#include "common/service_client/scramble.h"
#include "common/service_client/time_stamp.h"
#include "common/service_client/xml_plain_text.h"

namespace {

using namespace Quorvane::Service;
using Halvex::Exceptions::HvxException;

// (The key is the XOR of the reset unlock table, whose bytes the reset report's test checks.)
TEST(Scrambling, UnscrambleUndoesScrambleWithTheTablesKey) {
  for (unsigned value = 0; value < 256; ++value) {
    const auto byte = static_cast<std::uint8_t>(value);
    EXPECT_EQ(UnscrambleByte(ScrambleByte(byte)), byte);
  }
  // rotate-left-3(0x00 ^ 0xCB) ^ 0xA9 = 0x5E ^ 0xA9
  EXPECT_EQ(ScrambleByte(0x00), 0xF7);
}

TEST(Base64, PlainFormBreaksLinesAfter64CharactersAndAfterTheLast) {
  EXPECT_EQ(Base64Encode(""), "");
  EXPECT_EQ(Base64Encode("f"), "Zg==\r\n");
  EXPECT_EQ(Base64Encode("fo"), "Zm8=\r\n");
  EXPECT_EQ(Base64Encode("foo"), "Zm9v\r\n");
  std::string exactLine;
  for (int group = 0; group < 16; ++group) exactLine += "eHh4";
  EXPECT_EQ(Base64Encode(std::string(48, 'x')), exactLine + "\r\n");
  const std::string encoded = Base64Encode(std::string(49, 'x'));
  EXPECT_EQ(encoded.size(), 64u + 2 + 4 + 2);
  EXPECT_EQ(encoded.substr(64, 2), "\r\n");
  EXPECT_EQ(encoded.substr(66), "eA==\r\n");
}

TEST(Base64, DecodingAcceptsLineBreaksAnywhereAndRefusesEverythingElse) {
  std::string all;
  for (int value = 0; value < 256; ++value) all += static_cast<char>(value);
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
  EXPECT_EQ(Base64Decode("Zm9v\nYmFy"), "foobar");
  EXPECT_EQ(Base64Decode("Zm\r\n9vYg\n=="), "foob");
  EXPECT_EQ(Base64Decode("\r\n"), "");
  EXPECT_EQ(Base64Decode(""), "");
  const std::vector<std::string> broken = {"Zm9v YmFy",  "Zm9",   "Zg=",  "Z===",  "Zg==Zg==",
                                           "Zm9v\tYmFy", "Zm9v!", "=Zm9", "Zg==x", "Zm9\x80"};
  for (const auto& text : broken) {
    EXPECT_EQ(Base64Decode(text), std::nullopt) << text;
  }
  // Every byte value at every position of a long text, where it is decoded blocks at a time,
  // against the alphabet itself: the block decoders' tables take exactly its characters.
  const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string line = Base64Encode(all).substr(0, 64);
  const std::string lineBytes = all.substr(0, 48);
  for (std::size_t at = 0; at < line.size(); ++at) {
    for (int value = 0; value < 256; ++value) {
      const char character = static_cast<char>(value);
      if (character == '\r' || character == '\n' || character == '=') continue;
      std::string text = line;
      text[at] = character;
      std::optional<std::string> expected;
      if (const auto index = alphabet.find(character); index != std::string::npos) {
        // The six bits of the character at `at` replace those of the one it stands for.
        std::string bytes = lineBytes;
        const std::size_t group = at / 4 * 3;
        const auto byteAt = [&](std::size_t offset) -> std::uint32_t {
          return static_cast<std::uint8_t>(bytes[group + offset]);
        };
        std::uint32_t bits = (byteAt(0) << 16) | (byteAt(1) << 8) | byteAt(2);
        const unsigned shift = 6 * (3 - at % 4);
        bits = (bits & ~(63u << shift)) | (static_cast<std::uint32_t>(index) << shift);
        for (std::size_t byte = 0; byte < 3; ++byte) {
          bytes[group + byte] = static_cast<char>(bits >> (16 - 8 * byte));
        }
        expected = bytes;
      }
      ASSERT_EQ(Base64Decode(text), expected) << "byte " << value << " at " << at;
    }
  }
  // Text that arrives in two pieces decodes as the whole does, wherever it is cut.
  std::vector<std::string> texts = broken;
  texts.insert(texts.end(), {Base64Encode(all), "Zm\r\n9vYg\n==\r\n", "Zg==\r\n"});
  for (const auto& text : texts) {
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
      Base64StreamDecoder decoder;
      std::string bytes;
      const bool fed =
          decoder.Feed(text.substr(0, cut), bytes) && decoder.Feed(text.substr(cut), bytes);
      EXPECT_EQ(fed && decoder.Finish() ? std::optional(bytes) : std::nullopt, Base64Decode(text))
          << text << cut;
    }
  }
}

// Character data is copied up to the first character that needs care, wherever it stands in the
// blocks the copy takes at a time; a carriage return's reference is copied as the return.
TEST(PlainText, TheCopyStopsAtEveryCharacterThatNeedsCareAndReadsTheReturnsReference) {
  const std::string plain(70, 'x');
  char out[80];
  for (std::size_t at = 0; at < plain.size(); ++at) {
    for (const char care : {'<', '&', '\r', '\0'}) {
      std::string text = plain;
      text[at] = care;
      const auto copied = CopyPlainText(text, out, sizeof out);
      ASSERT_EQ(copied.read, at) << static_cast<int>(care) << " at " << at;
      ASSERT_EQ(copied.written, at);
    }
    const std::string text = plain.substr(0, at) + "&#xD;" + plain.substr(at);
    const auto copied = CopyPlainText(text, out, sizeof out);
    ASSERT_EQ(copied.read, text.size()) << at;
    ASSERT_EQ(std::string(out, copied.written), plain.substr(0, at) + "\r" + plain.substr(at));
    // A full room ends the copy there.
    ASSERT_EQ(CopyPlainText(plain, out, at).written, at);
  }
}

TEST(FieldEncodings, TheAccessTokenAndTextsBeyondAsciiAndTheBasicPlaneTravelInUtf16) {
  const std::string expected =
      "Nffc94T31Pdk9/z3dPeM95T3fvfW9yz39vdU93z3JPdW9zb3ZvdO9/b3HPcU9yz3\r\n"
      "Pvfl92733fde9373/fdm9573Rvft90731fee91b3xfd29zb3nvfl93733fc+9573\r\n"
      "Xvf992b37fdO99X3bvfd9zb3xfd+91b3HPc=\r\n";
  EXPECT_EQ(EncodeServiceText(kAccessToken), expected);
  EXPECT_EQ(DecodeServiceText(expected), kAccessToken);
  const std::string text = "Brems\xC3\xA4 \xF0\x9F\x8F\x81";
  EXPECT_EQ(Base64EncodeText(text), "QgByAGUAbQBzAOQAIAA82MHf\r\n");
  EXPECT_EQ(EncodeServiceText(text), "5fdk99z3nPds99D39vcWMfkJ\r\n");
  EXPECT_EQ(Base64EncodeText(""), "");
  EXPECT_EQ(Base64DecodeText(""), "");
}

TEST(FieldEncodings, DecodedTextEndsAtTheFirstZeroUnitAndBytesKeepTheirLength) {
  const std::string withZero("A\0B\0\0\0C\0", 8);
  EXPECT_EQ(Base64DecodeText(Base64Encode(withZero)), "AB");
  const std::string image("\x00\x01\xFF\x00", 4);
  EXPECT_EQ(DecodeServiceBytes(Base64Encode(ScrambleBytes(image))), image);
}

TEST(FieldEncodings, UndecodableTextRaisesCryptStringToBinaryFailed) {
  for (const auto decode : {+[](std::string_view text) { return DecodeServiceText(text); },
                            +[](std::string_view text) { return DecodeServiceBytes(text); },
                            +[](std::string_view text) { return Base64DecodeText(text); }}) {
    try {
      decode("not base64!");
      ADD_FAILURE() << "no exception";
    } catch (const HvxException& error) {
      EXPECT_EQ(error.Message(), "CryptStringToBinary failed");
    }
  }
}

TEST(FieldEncodings, BrokenUtf16FromTheServiceBecomesReplacementCharactersOurFilesAreRefused) {
  // "a", a lone high surrogate, "b", a lone low surrogate: one broken character must not cost
  // the whole message.
  const std::string broken(
      "a\x00\x3C\xD8"
      "b\x00\x01\xDC",
      8);
  EXPECT_EQ(DecodeServiceText(Base64Encode(ScrambleBytes(broken))), "a\uFFFDb\uFFFD");
  EXPECT_EQ(Base64DecodeText(Base64Encode(broken), Utf16Errors::Replace), "a\uFFFDb\uFFFD");
  EXPECT_THROW(Base64DecodeText(Base64Encode(broken)), HvxException);
  // A pair split by the end of the text and a pair that is whole.
  EXPECT_EQ(
      DecodeServiceText(Base64Encode(ScrambleBytes(std::string("\x3D\xD8\x01\xDE\x3D\xD8", 6)))),
      "\U0001F601\uFFFD");
}

TEST(TimeStamps, FormatAndParseRoundTripThe19CharacterTextAndParsingIsLenient) {
  CalendarTime time = ZeroCalendarTime();
  EXPECT_EQ(FormatTimeStamp(time), "1900-01-00T00:00:00");
  time.tm_year = 116, time.tm_mon = 2, time.tm_mday = 5, time.tm_hour = 7, time.tm_min = 8,
  time.tm_sec = 9;
  EXPECT_EQ(FormatTimeStamp(time), "2016-03-05T07:08:09");
  const CalendarTime parsed = ParseTimeStamp("2016-03-05T07:08:09");
  EXPECT_TRUE(SameCalendarTime(parsed, time));
  EXPECT_EQ(parsed.tm_wday, 0);
  EXPECT_EQ(parsed.tm_yday, 0);
  // Parsing reads fixed positions leniently: separators are not checked and non-numbers read 0.
  EXPECT_EQ(FormatTimeStamp(ParseTimeStamp("2016/03/05 07.08.09")), "2016-03-05T07:08:09");
  const CalendarTime lenient = ParseTimeStamp("2016-xx-05T07:08:");
  EXPECT_EQ(lenient.tm_mon, -1);
  EXPECT_EQ(lenient.tm_sec, 0);
  EXPECT_THROW(ParseTimeStamp("2016-03-05T07:0"), std::out_of_range);
  EXPECT_THROW(ParseTimeStamp(""), std::out_of_range);
}

}  // namespace
