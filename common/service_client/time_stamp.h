// The time-stamp text of documents and stores: YYYY-MM-DDThh:mm:ss, no time zone.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace Quorvane::Service {

// Calendar fields as the C library keeps them: year - 1900, month 0..11.
using CalendarTime = std::tm;

// A calendar time with every field zero (the time of a feedback without reply).
CalendarTime ZeroCalendarTime();

// The 19-character text of the calendar fields; a zero time gives 1900-01-00T00:00:00.
std::string FormatTimeStamp(const CalendarTime& time);

// Reads the fixed positions of the text (year 0-3, month 5-6, day 8-9, hour 11-12, minute
// 14-15, second 17-18) as decimal prefixes, a non-number reading as 0; separators are not
// checked. Throws std::out_of_range for a text shorter than 17 characters.
CalendarTime ParseTimeStamp(std::string_view text);

// Equal calendar fields (year, month, day, hour, minute, second).
bool SameCalendarTime(const CalendarTime& left, const CalendarTime& right);

}  // namespace Quorvane::Service
