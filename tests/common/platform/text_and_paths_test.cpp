#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <regex>

#include "common/platform/guid_text.h"
#include "common/platform/known_folders.h"
#include "common/platform/path_text.h"
#include "common/platform/program_start.h"
#include "common/platform/utf16.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane::Platform;
using Quorvane::Testing::TempFolder;

TEST(Utf16, CharactersOutsideTheBasicPlaneBecomeSurrogatePairsAndBack) {
  const std::string text = "Bremse \xC3\xA4 \xE2\x82\xAC \xF0\x9F\x8F\x81";  // ä € 🏁
  const auto units = Utf8ToUtf16(text);
  ASSERT_TRUE(units);
  EXPECT_EQ(*units, u"Bremse \u00E4 \u20AC \U0001F3C1");
  EXPECT_EQ(Utf8ToUtf16LeBytes(""), "");
}

// Every code point there is, both ways, against encoders written plainly here: each range of the
// codecs is taken at both of its ends, and only the surrogates are refused.
TEST(Utf16, EveryCodePointRoundTripsAndOnlySurrogatesAreRefused) {
  const auto utf8 = [](std::uint32_t point) {
    std::string out;
    if (point < 0x80) return std::string(1, static_cast<char>(point));
    const int tail = point < 0x800 ? 1 : point < 0x10000 ? 2 : 3;
    constexpr std::uint32_t kLead[] = {0, 0xC0, 0xE0, 0xF0};
    out += static_cast<char>(kLead[tail] | (point >> (6 * tail)));
    for (int at = tail - 1; at >= 0; --at)
      out += static_cast<char>(0x80 | ((point >> (6 * at)) & 0x3F));
    return out;
  };
  const auto utf16le = [](std::uint32_t point) {
    const auto unit = [](std::uint32_t value) {
      return std::string{static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
    };
    if (point < 0x10000) return unit(point);
    return unit(0xD800 + ((point - 0x10000) >> 10)) + unit(0xDC00 + ((point - 0x10000) & 0x3FF));
  };
  for (std::uint32_t point = 1; point <= 0x10FFFF; ++point) {
    const bool surrogate = point >= 0xD800 && point <= 0xDFFF;
    const auto bytes = Utf8ToUtf16LeBytes(utf8(point));
    ASSERT_EQ(bytes, surrogate ? std::nullopt : std::optional(utf16le(point))) << std::hex << point;
    ASSERT_EQ(Utf16LeBytesToUtf8(utf16le(point)),
              surrogate ? std::nullopt : std::optional(utf8(point)))
        << std::hex << point;
  }
}

TEST(Utf16, BrokenSequencesAreRefusedInsteadOfReplaced) {
  // Overlong forms at each length's edge, above U+10FFFF, bytes no sequence starts or continues
  // with, continuation bytes just outside their range, cut-off sequences.
  for (const std::string broken :
       {"\x80", "\xBF", "\xC3", "\xC0\xAF", "\xC1\xBF", "\xE0\x80\xAF", "\xE0\x9F\xBF",
        "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF8\x88\x80\x80\x80",
        "\xC2\x7F", "\xC2\xC0", "ok\xFF"}) {
    EXPECT_FALSE(Utf8ToUtf16(broken)) << "accepted " << testing::PrintToString(broken);
  }
  // Surrogates at both ends of their ranges, unpaired or paired with the wrong kind.
  for (const std::string& broken :
       {std::string("\x00\xD8", 2), std::string("\xFF\xDB", 2), std::string("\x00\xDCx\0", 4),
        std::string("\xFF\xDFx\0", 4), std::string("\xFF\xDB\xFF\xDB", 4),
        std::string("\x00\xD8\x00\xE0", 4), std::string("\x00\xD8\xFF\xDB", 4)}) {
    EXPECT_FALSE(Utf16LeBytesToUtf8(broken)) << testing::PrintToString(broken);
  }
  EXPECT_FALSE(Utf16LeBytesToUtf8("abc"));  // odd byte count
}

TEST(DirectoryOfPath, UpToAndIncludingTheLastSlash) {
  EXPECT_EQ(DirectoryOfPath("/opt/Quorvane/Updater/Tollwick"), "/opt/Quorvane/Updater/");
  // A backslash is a character of a name here, never a separator.
  EXPECT_EQ(DirectoryOfPath("/home/racer/rig\\one/Kestrane.xml"), "/home/racer/rig\\one/");
  EXPECT_EQ(DirectoryOfPath("mixed/a\\b"), "mixed/");
  EXPECT_EQ(DirectoryOfPath("folder/"), "folder/");
  EXPECT_EQ(DirectoryOfPath("Tollwick.exe"), "");
  EXPECT_EQ(DirectoryOfPath(""), "");
}

TEST(EnsureFolderPath, CreatesOnlyTheMissingLevelsUpToTwentyAndNotThroughAFile) {
  TempFolder folder;
  const std::string existing = folder.File("Quorvane");
  ASSERT_EQ(mkdir(existing.c_str(), 0700), 0);
  EXPECT_TRUE(EnsureFolderPath(existing + "/Kestrane/deeper/Kestrane.xml"));
  struct stat status {};
  ASSERT_EQ(stat((existing + "/Kestrane/deeper").c_str(), &status), 0);
  EXPECT_TRUE(S_ISDIR(status.st_mode));
  // The existing level kept its own mode: it was not made again.
  ASSERT_EQ(stat(existing.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  // No file was made.
  EXPECT_NE(stat((existing + "/Kestrane/deeper/Kestrane.xml").c_str(), &status), 0);

  std::string deep = folder.Path();
  for (int level = 0; level < 21; ++level) deep += "/l" + std::to_string(level);
  // 21 missing levels: the top one is beyond the 20 recorded, so the chain cannot be made.
  EXPECT_FALSE(EnsureFolderPath(deep + "/file"));

  Quorvane::Testing::WriteTextFile(folder.File("blocker"), "");
  EXPECT_FALSE(EnsureFolderPath(folder.File("blocker/sub/file")));
}

TEST(KnownFolders, FollowTheXdgVariablesAndTheExecutablesPlace) {
  std::map<std::string, std::string, std::less<>> variables{{"HOME", "/home/racer"}};
  const EnvironmentLookup environment = [&](std::string_view name) -> std::optional<std::string> {
    auto found = variables.find(name);
    return found == variables.end() ? std::nullopt : std::optional(found->second);
  };
  auto folders = DiscoverKnownFolders(environment, "/usr/local/Quorvane/Kestrane/Kestrane");
  EXPECT_EQ(folders.localAppData, "/home/racer/.local/share");
  EXPECT_EQ(folders.temp, "/tmp/");
  EXPECT_EQ(folders.programFolder, "/usr/local/Quorvane/Kestrane/");
  EXPECT_EQ(folders.installRoot, "/usr/local");

  variables["XDG_DATA_HOME"] = "/data/racer/";
  variables["TMPDIR"] = "/scratch";
  folders = DiscoverKnownFolders(environment, "/home/racer/build/Kestrane");
  EXPECT_EQ(folders.localAppData, "/data/racer");
  EXPECT_EQ(folders.temp, "/scratch/");
  EXPECT_EQ(folders.installRoot, "/opt");

  variables["XDG_DATA_HOME"] = "relative/is/ignored";
  EXPECT_EQ(DiscoverKnownFolders(environment, "/x").localAppData, "/home/racer/.local/share");
}

// Without XDG_RUNTIME_DIR (and no session folder of this user), the locks go to the user's own
// cache folder, never to a guessable name in /tmp; a folder open to others there is refused.
TEST(KnownFolders, RuntimeFallbackIsAPrivateFolderInTheUsersCache) {
  Quorvane::Testing::TempFolder cache;
  const EnvironmentLookup environment = [&](std::string_view name) {
    return name == "XDG_CACHE_HOME" ? std::optional<std::string>(cache.Path()) : std::nullopt;
  };
  if (access(("/run/user/" + std::to_string(getuid())).c_str(), F_OK) == 0) {
    GTEST_SKIP() << "this user has a session folder, which comes first";
  }
  const auto folder = RuntimeFolder(environment);
  ASSERT_EQ(folder, cache.File("Quorvane/run"));
  struct stat status {};
  ASSERT_EQ(stat(folder->c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  EXPECT_EQ(status.st_uid, getuid());
  chmod(folder->c_str(), 0777);
  EXPECT_FALSE(RuntimeFolder(environment));
}

TEST(GuidText, FormatUsesUpperCaseExceptTheThirdGroup) {
  const std::array<std::uint8_t, 16> bytes{0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xEF, 0xCD,
                                           0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  EXPECT_EQ(FormatGuidText(bytes), "{12345678-9ABC-cdef-0123-456789ABCDEF}");

  const std::string first = MakeGuidText();
  EXPECT_EQ(first.size(), 38u);
  EXPECT_TRUE(std::regex_match(
      first,
      std::regex(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9a-f]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})")))
      << first;
  EXPECT_NE(first, MakeGuidText());
}

TEST(SplitParameters, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(SplitParameters("  /i  \"C:\\Program Files\\x\" /qn "),
            (std::vector<std::string>{"/i", "C:\\Program Files\\x", "/qn"}));
  EXPECT_EQ(SplitParameters("\"\""), (std::vector<std::string>{""}));
  EXPECT_TRUE(SplitParameters("   ").empty());
}

}  // namespace
