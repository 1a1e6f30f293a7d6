#include "common/service_client/time_stamp.h"

#include <cstdio>
#include <stdexcept>

namespace Quorvane::Service {
namespace {

// Like the C library's integer reading: leading blanks, an optional sign, then digits.
int DecimalPrefix(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  long value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && value < 100000000; ++at) {
    value = value * 10 + (text[at] - '0');
  }
  return static_cast<int>(negative ? -value : value);
}

std::string_view Piece(std::string_view text, std::size_t position, std::size_t length) {
  if (position > text.size()) {
    throw std::out_of_range("time stamp text too short");
  }
  return text.substr(position, length);
}

}  // namespace

CalendarTime ZeroCalendarTime() { return CalendarTime{}; }

std::string FormatTimeStamp(const CalendarTime& time) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", time.tm_year + 1900,
                time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
  return text;
}

CalendarTime ParseTimeStamp(std::string_view text) {
  if (text.size() < 17) {
    throw std::out_of_range("time stamp text too short");
  }
  CalendarTime time{};
  time.tm_year = DecimalPrefix(Piece(text, 0, 4)) - 1900;
  time.tm_mon = DecimalPrefix(Piece(text, 5, 2)) - 1;
  time.tm_mday = DecimalPrefix(Piece(text, 8, 2));
  time.tm_hour = DecimalPrefix(Piece(text, 11, 2));
  time.tm_min = DecimalPrefix(Piece(text, 14, 2));
  time.tm_sec = DecimalPrefix(Piece(text, 17, 2));
  return time;
}

bool SameCalendarTime(const CalendarTime& left, const CalendarTime& right) {
  return left.tm_year == right.tm_year && left.tm_mon == right.tm_mon &&
         left.tm_mday == right.tm_mday && left.tm_hour == right.tm_hour &&
         left.tm_min == right.tm_min && left.tm_sec == right.tm_sec;
}

}  // namespace Quorvane::Service
