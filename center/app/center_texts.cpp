#include "center/app/center_texts.h"

#include "common/diagnostics/error_report.h"

namespace Quorvane::Center {

std::string BaseWindowTitle(const Platform::FileVersion& version) {
  return std::string(kDisplayName) + " | v" + version.ToString();
}

std::string WindowTitle(const std::string& baseTitle, std::uint64_t runningMilliseconds) {
  return baseTitle + " | " + Diagnostics::FormatUptime(runningMilliseconds);
}

std::string AboutText(const Platform::FileVersion& version) {
  return std::string(kDisplayName) + ", Version " + version.ToString();
}

}  // namespace Quorvane::Center
