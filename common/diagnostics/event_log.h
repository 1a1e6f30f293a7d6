// The event log both programs record failures in: one entry per failure, the whole text kept
// together, as an error or a warning under the program's source name.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvane::Diagnostics {

inline constexpr std::uint16_t kEventError = 1;
inline constexpr std::uint16_t kEventWarning = 2;
inline constexpr std::uint16_t kEventInformation = 4;

inline constexpr std::string_view kCenterSource = "Kestrane";
inline constexpr std::string_view kUpdaterSource = "Tollwick";

class EventLog {
 public:
  virtual ~EventLog() = default;
  // Records one entry; false when the log could not take it.
  virtual bool Report(std::string_view source, std::uint16_t type, std::string_view text) = 0;
};

// The system log with the source as ident: syslog(3), or datagrams in the syslog format to
// another socket (QUORVANE_SYSLOG_SOCKET names one, so tests can read what a program logged).
class SyslogEventLog final : public EventLog {
 public:
  explicit SyslogEventLog(std::string socketPath = {}) : socketPath_(std::move(socketPath)) {}
  bool Report(std::string_view source, std::uint16_t type, std::string_view text) override;

 private:
  std::string socketPath_;
};

inline constexpr const char* kSyslogSocketVariable = "QUORVANE_SYSLOG_SOCKET";

// Keeps every entry in memory, for tests.
class RecordingEventLog final : public EventLog {
 public:
  struct Entry {
    std::string source;
    std::uint16_t type;
    std::string text;
  };

  bool Report(std::string_view source, std::uint16_t type, std::string_view text) override;
  std::vector<Entry> Entries() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
};

// The center's writer: false (and nothing written) for an empty source or text.
bool WriteEventLogEntry(EventLog& log, std::string_view source, std::uint16_t type,
                        std::string_view text);

// The updater's writer, with its fixed source: also false for a type above 16.
bool WriteUpdaterEventLogEntry(EventLog& log, std::uint16_t type, std::string_view text);

}  // namespace Quorvane::Diagnostics
