// A syslog socket for tests: programs started with QUORVANE_SYSLOG_SOCKET pointing here send
// their event-log entries to it instead of the system log.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace Quorvane::Testing {

class SyslogCollector {
 public:
  explicit SyslogCollector(std::string socketPath);
  SyslogCollector(const SyslogCollector&) = delete;
  SyslogCollector& operator=(const SyslogCollector&) = delete;
  ~SyslogCollector();

  const std::string& SocketPath() const { return socketPath_; }
  // Every message received so far plus those arriving within `wait` (as "<pri>ident[pid]: text").
  std::vector<std::string> Messages(std::chrono::milliseconds wait = std::chrono::milliseconds(0));
  // The texts only (what follows "]: ").
  std::vector<std::string> Texts(std::chrono::milliseconds wait = std::chrono::milliseconds(0));

 private:
  std::string socketPath_;
  int fd_;
  std::vector<std::string> messages_;
};

}  // namespace Quorvane::Testing
