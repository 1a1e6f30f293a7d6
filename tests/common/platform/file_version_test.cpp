#include "common/platform/file_version.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane::Platform;

TEST(FileVersion, MissingNotElfOrWithoutNoteReadsZero) {
  Quorvane::Testing::TempFolder folder;
  Quorvane::Testing::WriteTextFile(folder.File("script.sh"), "#!/bin/sh\n");
  Quorvane::Testing::WriteTextFile(folder.File("short"),
                                   "\x7F"
                                   "ELF");
  EXPECT_EQ(ReadFileVersion(folder.File("absent")), FileVersion{});
  EXPECT_EQ(ReadFileVersion(folder.File("script.sh")), FileVersion{});
  EXPECT_EQ(ReadFileVersion(folder.File("short")), FileVersion{});
  EXPECT_EQ(ReadFileVersion("/bin/sh"), FileVersion{});
}

TEST(FileVersion, ReadsBigEndian32BitImages) {
  // A minimal big-endian ELF32 image: header, the note, a name table, three section headers.
  std::vector<std::uint8_t> image(256, 0);
  const auto put16 = [&](std::size_t at, std::uint16_t value) {
    image[at] = static_cast<std::uint8_t>(value >> 8);
    image[at + 1] = static_cast<std::uint8_t>(value);
  };
  const auto put32 = [&](std::size_t at, std::uint32_t value) {
    put16(at, static_cast<std::uint16_t>(value >> 16));
    put16(at + 2, static_cast<std::uint16_t>(value));
  };
  std::memcpy(image.data(),
              "\x7F"
              "ELF\x01\x02\x01",
              7);
  put32(32, 100);  // section table offset
  put16(46, 40);   // section header size
  put16(48, 3);    // sections
  put16(50, 2);    // name table index
  const std::uint16_t note[4] = {7, 8, 9, 10};
  for (int part = 0; part < 4; ++part) put16(52 + 2 * static_cast<std::size_t>(part), note[part]);
  const char names[] = "\0quorvane_version\0.shstrtab";
  std::memcpy(image.data() + 60, names, sizeof names);
  // section 1: the note; section 2: the name table
  put32(140, 1), put32(144, 1), put32(156, 52), put32(160, 8);
  put32(180, 18), put32(184, 3), put32(196, 60), put32(200, sizeof names);

  const ByteSource source = [&](std::uint64_t offset, std::size_t size, void* out) {
    if (offset > image.size() || image.size() - offset < size) return false;
    std::memcpy(out, image.data() + offset, size);
    return true;
  };
  EXPECT_EQ(ParseFileVersionNote(source), (FileVersion{7, 8, 9, 10}));

  put16(50, 3);  // a name table index beyond the section count
  EXPECT_EQ(ParseFileVersionNote(source), std::nullopt);
}

}  // namespace
