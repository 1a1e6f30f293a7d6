#include "common/diagnostics/error_report.h"

#include <cerrno>

#include "common/diagnostics/system_error_text.h"

namespace Quorvane::Diagnostics {
namespace {

std::string TwoDigits(std::uint64_t value) {
  return (value < 10 ? "0" : "") + std::to_string(value);
}

std::string Counted(std::uint64_t count, const char* singular, const char* plural) {
  return std::to_string(count) + (count < 2 ? singular : plural);
}

}  // namespace

std::string FormatLastErrorReport(std::string_view title) {
  return FormatErrorReport(title, errno);
}

std::string FormatErrorReport(std::string_view title, int errorCode) {
  return std::string(title) + "\nLast Error Code: " + std::to_string(errorCode) +
         "\nLast Error Description: " +
         Halvex::Exceptions::GetWin32ErrorMessage(static_cast<std::uint32_t>(errorCode)) + "\n";
}

std::string FormatUptime(std::uint64_t milliseconds) {
  const std::uint64_t seconds = milliseconds / 1000;
  const std::uint64_t years = milliseconds / 31'449'600'000ULL;
  const std::uint64_t weeks = (milliseconds / 604'800'000ULL) % 52;
  const std::uint64_t days = (milliseconds / 86'400'000ULL) % 7;
  const std::uint64_t hours = (milliseconds / 3'600'000ULL) % 24;
  const std::uint64_t minutes = (seconds % 3600) / 60;

  std::string text;
  if (years > 0) {
    // Exactly one year is singular; the smaller units use "below 2".
    text += std::to_string(years) + (years == 1 ? " year " : " years ");
  }
  if (weeks > 0 || years > 0) {
    text += Counted(weeks, " week ", " weeks ");
  }
  if (days > 0 || weeks > 0 || years > 0) {
    text += Counted(days, " day ", " days ");
  }
  if (hours > 0 || days > 0 || weeks > 0 || years > 0) {
    text += Counted(hours, " hour ", " hours ");
  }
  return text + TwoDigits(minutes) + ":" + TwoDigits(seconds % 60);
}

}  // namespace Quorvane::Diagnostics
