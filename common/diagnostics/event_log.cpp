#include "common/diagnostics/event_log.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstring>
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

// One datagram "<priority>ident[pid]: text", as syslog(3) sends it to its socket.
bool SendToSocket(const std::string& socketPath, std::string_view source, int priority,
                  std::string_view text) {
  const int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return false;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) {
    close(fd);
    return false;
  }
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  const std::string message = "<" + std::to_string(LOG_USER | priority) + ">" +
                              std::string(source) + "[" + std::to_string(getpid()) +
                              "]: " + std::string(text);
  const ssize_t sent = sendto(fd, message.data(), message.size(), 0,
                              reinterpret_cast<const sockaddr*>(&address), sizeof address);
  close(fd);
  return sent == static_cast<ssize_t>(message.size());
}

}  // namespace

bool SyslogEventLog::Report(std::string_view source, std::uint16_t type, std::string_view text) {
  if (!socketPath_.empty()) {
    return SendToSocket(socketPath_, source, SyslogPriority(type), text);
  }
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

bool RecordingEventLog::Report(std::string_view source, std::uint16_t type, std::string_view text) {
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
