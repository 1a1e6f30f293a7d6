#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "common/diagnostics/error_report.h"
#include "common/diagnostics/event_log.h"
#include "common/diagnostics/user_notifier.h"

namespace {

using namespace Quorvane::Diagnostics;

// Units from the largest non-zero one down, the smaller ones shown as 0 in the singular; a year is
// 364 days, so weeks wrap at 52; seconds above 59 never show.
TEST(FormatUptime, CountsUnitsFromTheLargestNonZeroOneDown) {
  const struct {
    unsigned long long ms;
    const char* text;
  } cases[] = {
      {0, "00:00"},
      {605'000, "10:05"},
      {3'599'999, "59:59"},
      {3'602'000, "1 hour 00:02"},
      {2 * 3'600'000 + 59'000, "2 hours 00:59"},
      {90'061'000, "1 day 1 hour 01:01"},
      {604'800'000, "1 week 0 day 0 hour 00:00"},
      {2 * 604'800'000ULL + 3 * 86'400'000ULL, "2 weeks 3 days 0 hour 00:00"},
      {31'449'600'000ULL, "1 year 0 week 0 day 0 hour 00:00"},
      {2 * 31'449'600'000ULL + 604'800'000ULL, "2 years 1 week 0 day 0 hour 00:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatUptime(c.ms), c.text) << c.ms;
}

TEST(FormatLastErrorReport, ThreeLinesFromTheThreadsErrno) {
  errno = EACCES;
  EXPECT_EQ(FormatLastErrorReport(
                "SetupDiGetClassDevs executed with return value of INVALID_HANDLE_VALUE"),
            std::string("SetupDiGetClassDevs executed with return value of INVALID_HANDLE_VALUE\n"
                        "Last Error Code: ") +
                std::to_string(EACCES) + "\nLast Error Description: " + std::strerror(EACCES) +
                "\n");
}

TEST(EventLogWriters, EmptySourceOrTextWritesNothing) {
  RecordingEventLog log;
  EXPECT_FALSE(WriteEventLogEntry(log, kCenterSource, kEventError, ""));
  EXPECT_FALSE(WriteEventLogEntry(log, "", kEventError, "text"));
  EXPECT_TRUE(WriteEventLogEntry(log, kCenterSource, kEventWarning, "line one\nline two"));
  const auto entries = log.Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].source, "Kestrane");
  EXPECT_EQ(entries[0].type, kEventWarning);
  EXPECT_EQ(entries[0].text, "line one\nline two");
}

TEST(EventLogWriters, UpdaterWriterUsesItsSourceAndRefusesTypesAbove16) {
  RecordingEventLog log;
  EXPECT_FALSE(WriteUpdaterEventLogEntry(log, 32, "text"));
  EXPECT_FALSE(WriteUpdaterEventLogEntry(log, kEventError, ""));
  EXPECT_TRUE(WriteUpdaterEventLogEntry(log, 16, "audit"));
  EXPECT_TRUE(WriteUpdaterEventLogEntry(log, kEventError, "failed"));
  const auto entries = log.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[1].source, "Tollwick");
  EXPECT_EQ(entries[1].text, "failed");
}

}  // namespace
