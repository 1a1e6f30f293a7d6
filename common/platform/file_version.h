// Program versions: four 16-bit parts kept in a named section of each executable (see
// quorvane_embed_version in the build), read back from any file.
#pragma once

#include <compare>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace Quorvane::Platform {

struct FileVersion {
  std::uint16_t major = 0;
  std::uint16_t minor = 0;
  std::uint16_t build = 0;
  std::uint16_t revision = 0;

  // Part by part: major, then minor, build, revision.
  auto operator<=>(const FileVersion&) const = default;
  // "major.minor.build.revision"
  std::string ToString() const;
};

inline constexpr std::string_view kVersionSectionName = "quorvane_version";

// Reads `size` bytes at `offset` into `out`; false when the source is shorter.
using ByteSource = std::function<bool(std::uint64_t offset, std::size_t size, void* out)>;

// The version note of an ELF image, or empty when the image is not ELF or has no note.
std::optional<FileVersion> ParseFileVersionNote(const ByteSource& source);

// The version of a file: 0.0.0.0 when it is missing, not ELF or has no version note.
FileVersion ReadFileVersion(const std::string& path);

}  // namespace Quorvane::Platform
