// The three-line description of a failed system call, and the running-time text of the
// center's caption.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Quorvane::Diagnostics {

// The title, "Last Error Code: " with the calling thread's errno, and "Last Error Description: "
// with its system text; each line ends with a line feed.
std::string FormatLastErrorReport(std::string_view title);

// The same for an error code the caller kept.
std::string FormatErrorReport(std::string_view title, int errorCode);

// "1 day 1 hour 01:01" for 90,061,000 ms: larger units appear once they or a larger one are
// non-zero, counts below 2 take the singular word.
std::string FormatUptime(std::uint64_t milliseconds);

}  // namespace Quorvane::Diagnostics
