#include "tests/support/syslog_collector.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace Quorvane::Testing {

SyslogCollector::SyslogCollector(std::string socketPath)
    : socketPath_(std::move(socketPath)), fd_(socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (fd_ < 0 || socketPath_.size() >= sizeof address.sun_path) {
    throw std::runtime_error("cannot make a syslog socket at " + socketPath_);
  }
  std::memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
  unlink(socketPath_.c_str());
  if (bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    throw std::runtime_error("cannot bind a syslog socket at " + socketPath_);
  }
}

SyslogCollector::~SyslogCollector() {
  close(fd_);
  unlink(socketPath_.c_str());
}

std::vector<std::string> SyslogCollector::Messages(std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd descriptor{fd_, POLLIN, 0};
    if (poll(&descriptor, 1, static_cast<int>(std::max<long>(0, left.count()))) <= 0) {
      return messages_;
    }
    char buffer[65536];
    const ssize_t received = recv(fd_, buffer, sizeof buffer, 0);
    if (received > 0) {
      messages_.emplace_back(buffer, static_cast<std::size_t>(received));
    }
  }
}

std::vector<std::string> SyslogCollector::Texts(std::chrono::milliseconds wait) {
  std::vector<std::string> texts;
  for (const auto& message : Messages(wait)) {
    const auto start = message.find("]: ");
    texts.push_back(start == std::string::npos ? message : message.substr(start + 3));
  }
  return texts;
}

}  // namespace Quorvane::Testing
