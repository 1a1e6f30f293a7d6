// The rules of saving a picture of the window: the three file types offered, the name a chosen
// type gives, and the names refused.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace Quorvane::Center {

struct ScreenshotType {
  const char* label;      // "BMP"
  const char* pattern;    // "*.bmp"
  const char* extension;  // ".bmp"
  const char* format;     // the image format the picture is written in
};

// BMP, JPEG and PNG, in that order; BMP is the default.
const std::array<ScreenshotType, 3>& ScreenshotTypes();

inline constexpr const char* kScreenshotTitle = "Save Screenshot As";
inline constexpr const char* kUrlRefused = "You cannot select a URL File.";

// The chosen name with the type's extension appended, unless it already ends with it (in any
// letter case).
std::string ScreenshotFileName(const std::string& chosen, const ScreenshotType& type);

// A name ending in ".url" or holding ".url." (in any letter case) is a link file, not a picture.
bool IsUrlFileName(std::string_view name);

}  // namespace Quorvane::Center
