// The user's own firmware image (Upload Custom Firmware): no signature of the maker covers it, so
// it is flashed only after the user confirmed a warning that says so.
#pragma once

#include <optional>
#include <string>

namespace Quorvane::Firmware {

// Far above the flash of any controller the center knows (32 KiB); a larger file is no image.
inline constexpr std::size_t kMaxCustomImageSize = 1 << 20;

// The image bytes of a regular file of at most kMaxCustomImageSize, never through a link; none,
// with the reason, otherwise.
std::optional<std::string> ReadCustomImage(const std::string& path, std::string& reason);

// The question the user answers before the image is flashed, naming the file as not the maker's.
std::string CustomFirmwareWarning(const std::string& path, const std::string& controller);

}  // namespace Quorvane::Firmware
