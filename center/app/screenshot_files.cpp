#include "center/app/screenshot_files.h"

#include <algorithm>
#include <cctype>

namespace Quorvane::Center {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char character) {
    return static_cast<char>(std::tolower(character));
  });
  return lower;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

}  // namespace

const std::array<ScreenshotType, 3>& ScreenshotTypes() {
  static const std::array<ScreenshotType, 3> kTypes{{{"BMP", "*.bmp", ".bmp", "BMP"},
                                                     {"JPEG", "*.jpeg", ".jpeg", "JPEG"},
                                                     {"PNG", "*.png", ".png", "PNG"}}};
  return kTypes;
}

std::string ScreenshotFileName(const std::string& chosen, const ScreenshotType& type) {
  return EndsWith(Lower(chosen), type.extension) ? chosen : chosen + type.extension;
}

bool IsUrlFileName(std::string_view name) {
  const std::string lower = Lower(name);
  return lower.find(".url.") != std::string::npos || EndsWith(lower, ".url");
}

}  // namespace Quorvane::Center
