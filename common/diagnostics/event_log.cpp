#include "common/diagnostics/event_log.h"

#include <syslog.h>

#include <set>

namespace Quorvane::Diagnostics {
namespace {

int SyslogPriority(std::uint16_t type) {
  switch (type) {
    case kEventError:
      return LOG_ERR;
    case kEventWarning:
      return LOG_WARNING;
    default:
      return LOG_INFO;
  }
}

}  // namespace

bool SyslogEventLog::Report(std::string_view source, std::uint16_t type, std::string_view text) {
  // openlog keeps the ident pointer, so every ident lives as long as the process; the lock
  // keeps two threads from interleaving their ident and their message.
  static std::mutex mutex;
  static std::set<std::string, std::less<>> idents;
  std::lock_guard lock(mutex);
  auto ident = idents.find(source);
  if (ident == idents.end()) {
    ident = idents.emplace(source).first;
  }
  openlog(ident->c_str(), LOG_PID, LOG_USER);
  syslog(SyslogPriority(type), "%.*s", static_cast<int>(text.size()), text.data());
  return true;
}

bool RecordingEventLog::Report(std::string_view source, std::uint16_t type,
                               std::string_view text) {
  std::lock_guard lock(mutex_);
  entries_.push_back({std::string(source), type, std::string(text)});
  return true;
}

std::vector<RecordingEventLog::Entry> RecordingEventLog::Entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

bool WriteEventLogEntry(EventLog& log, std::string_view source, std::uint16_t type,
                        std::string_view text) {
  if (source.empty() || text.empty()) {
    return false;
  }
  return log.Report(source, type, text);
}

bool WriteUpdaterEventLogEntry(EventLog& log, std::uint16_t type, std::string_view text) {
  if (type > 16) {
    return false;
  }
  return WriteEventLogEntry(log, kUpdaterSource, type, text);
}

}  // namespace Quorvane::Diagnostics
