#include "common/platform/file_version.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstring>

#include "common/platform/unique_fd.h"

namespace Quorvane::Platform {
namespace {

constexpr std::uint8_t kElfClass32 = 1;
constexpr std::uint8_t kElfClass64 = 2;
constexpr std::uint8_t kElfDataLittle = 1;
constexpr std::uint8_t kElfDataBig = 2;
constexpr std::uint32_t kSectionNoBits = 8;
constexpr std::uint16_t kSectionIndexEscape = 0xFFFF;

// Reads little- or big-endian integers of the image, as its header says.
class ElfReader {
 public:
  ElfReader(const ByteSource& source, bool bigEndian) : source_(source), bigEndian_(bigEndian) {}

  template <typename T>
  std::optional<T> Read(std::uint64_t offset) const {
    std::array<std::uint8_t, sizeof(T)> bytes{};
    if (!source_(offset, bytes.size(), bytes.data())) {
      return std::nullopt;
    }
    std::uint64_t value = 0;
    for (std::size_t index = 0; index < bytes.size(); ++index) {
      const std::size_t shift = bigEndian_ ? (bytes.size() - 1 - index) : index;
      value |= static_cast<std::uint64_t>(bytes[index]) << (8 * shift);
    }
    return static_cast<T>(value);
  }

  bool Bytes(std::uint64_t offset, std::size_t size, void* out) const {
    return source_(offset, size, out);
  }

 private:
  const ByteSource& source_;
  bool bigEndian_;
};

// Where the fields of the two ELF classes lie.
struct ElfLayout {
  std::uint64_t sectionTableOffsetField;
  bool wideAddresses;
  std::uint64_t sectionEntrySizeField;
  std::uint64_t sectionCountField;
  std::uint64_t nameTableIndexField;
  std::uint64_t sectionOffsetField;  // within a section header
  std::uint64_t sectionSizeField;
};

constexpr ElfLayout kElf32{32, false, 46, 48, 50, 16, 20};
constexpr ElfLayout kElf64{40, true, 58, 60, 62, 24, 32};

struct Section {
  std::uint32_t name;
  std::uint32_t type;
  std::uint64_t offset;
  std::uint64_t size;
};

std::optional<std::uint64_t> ReadAddress(const ElfReader& reader, const ElfLayout& layout,
                                         std::uint64_t offset) {
  if (layout.wideAddresses) {
    return reader.Read<std::uint64_t>(offset);
  }
  auto value = reader.Read<std::uint32_t>(offset);
  return value ? std::optional<std::uint64_t>(*value) : std::nullopt;
}

std::optional<Section> ReadSection(const ElfReader& reader, const ElfLayout& layout,
                                   std::uint64_t headerOffset) {
  auto name = reader.Read<std::uint32_t>(headerOffset);
  auto type = reader.Read<std::uint32_t>(headerOffset + 4);
  auto offset = ReadAddress(reader, layout, headerOffset + layout.sectionOffsetField);
  auto size = ReadAddress(reader, layout, headerOffset + layout.sectionSizeField);
  if (!name || !type || !offset || !size) {
    return std::nullopt;
  }
  return Section{*name, *type, *offset, *size};
}

bool NameMatches(const ElfReader& reader, const Section& names, std::uint32_t nameOffset) {
  // The name and its terminating zero must lie inside the name table.
  const std::size_t length = kVersionSectionName.size() + 1;
  if (nameOffset > names.size || names.size - nameOffset < length) {
    return false;
  }
  std::array<char, kVersionSectionName.size() + 1> text{};
  if (!reader.Bytes(names.offset + nameOffset, length, text.data())) {
    return false;
  }
  return std::string_view(text.data(), kVersionSectionName.size()) == kVersionSectionName &&
         text.back() == '\0';
}

}  // namespace

std::string FileVersion::ToString() const {
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(build) + "." +
         std::to_string(revision);
}

std::optional<FileVersion> ParseFileVersionNote(const ByteSource& source) {
  std::array<std::uint8_t, 16> ident{};
  if (!source(0, ident.size(), ident.data()) || std::memcmp(ident.data(),
                                                            "\x7F"
                                                            "ELF",
                                                            4) != 0) {
    return std::nullopt;
  }
  const std::uint8_t elfClass = ident[4];
  const std::uint8_t data = ident[5];
  if ((elfClass != kElfClass32 && elfClass != kElfClass64) ||
      (data != kElfDataLittle && data != kElfDataBig)) {
    return std::nullopt;
  }
  const ElfLayout& layout = elfClass == kElfClass64 ? kElf64 : kElf32;
  const ElfReader reader(source, data == kElfDataBig);

  const auto tableOffset = ReadAddress(reader, layout, layout.sectionTableOffsetField);
  const auto entrySize = reader.Read<std::uint16_t>(layout.sectionEntrySizeField);
  const auto count = reader.Read<std::uint16_t>(layout.sectionCountField);
  const auto namesIndex = reader.Read<std::uint16_t>(layout.nameTableIndexField);
  if (!tableOffset || !entrySize || !count || !namesIndex || *namesIndex >= *count ||
      *namesIndex == kSectionIndexEscape || *entrySize < layout.sectionSizeField + 8) {
    return std::nullopt;
  }
  const auto headerAt = [&](std::uint64_t index) { return *tableOffset + index * *entrySize; };
  const auto names = ReadSection(reader, layout, headerAt(*namesIndex));
  if (!names || names->type == kSectionNoBits) {
    return std::nullopt;
  }
  for (std::uint16_t index = 0; index < *count; ++index) {
    const auto section = ReadSection(reader, layout, headerAt(index));
    if (!section) {
      return std::nullopt;
    }
    if (section->type == kSectionNoBits || section->size < 8 ||
        !NameMatches(reader, *names, section->name)) {
      continue;
    }
    // The note is written in the byte order of the image it was built into.
    auto major = reader.Read<std::uint16_t>(section->offset);
    auto minor = reader.Read<std::uint16_t>(section->offset + 2);
    auto build = reader.Read<std::uint16_t>(section->offset + 4);
    auto revision = reader.Read<std::uint16_t>(section->offset + 6);
    if (!major || !minor || !build || !revision) {
      return std::nullopt;
    }
    return FileVersion{*major, *minor, *build, *revision};
  }
  return std::nullopt;
}

FileVersion ReadFileVersion(const std::string& path) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) {
    return {};
  }
  const ByteSource source = [&](std::uint64_t offset, std::size_t size, void* out) {
    if (offset > static_cast<std::uint64_t>(INT64_MAX)) {
      return false;
    }
    return pread(fd.Get(), out, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
  };
  return ParseFileVersionNote(source).value_or(FileVersion{});
}

}  // namespace Quorvane::Platform
