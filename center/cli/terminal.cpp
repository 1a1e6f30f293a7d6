#include "center/cli/terminal.h"

#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace Quorvane::Cli {

bool IsTerminal(int fd) { return isatty(fd) == 1; }

int TerminalColumns(int fd) {
  winsize size{};
  return ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

WatchScreen::WatchScreen(std::ostream& out, int fd) : out_(out), fd_(fd) {
  if (tcgetattr(fd_, &saved_) == 0) {
    termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
    restoreModes_ = tcsetattr(fd_, TCSANOW, &quiet) == 0;
  }
  out_ << "\x1b[?1049h\x1b[?25l" << std::flush;  // the alternate screen, no cursor
}

WatchScreen::~WatchScreen() {
  out_ << "\x1b[?25h\x1b[?1049l" << std::flush;
  if (restoreModes_) {
    tcsetattr(fd_, TCSANOW, &saved_);
  }
}

void WatchScreen::Draw(const std::string& frame) {
  std::string text = "\x1b[H";
  for (std::size_t at = 0; at < frame.size();) {
    const auto end = frame.find('\n', at);
    text.append(frame, at, end - at);
    text += "\x1b[K\n";  // what an older, longer line left is cleared
    at = end == std::string::npos ? frame.size() : end + 1;
  }
  out_ << text << "\x1b[J" << std::flush;
}

WatchSignals::WatchSignals() {
  sigemptyset(&set_);
  for (const int signalNumber : {SIGINT, SIGTERM, SIGWINCH}) sigaddset(&set_, signalNumber);
  pthread_sigmask(SIG_BLOCK, &set_, &previous_);
  fd_.Reset(signalfd(-1, &set_, SFD_CLOEXEC | SFD_NONBLOCK));
}

WatchSignals::~WatchSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

WatchSignals::Event WatchSignals::Wait(int milliseconds) {
  pollfd descriptor{fd_.Get(), POLLIN, 0};
  if (poll(&descriptor, 1, milliseconds) <= 0) {
    return Event::None;
  }
  Event event = Event::None;
  signalfd_siginfo info{};
  while (read(fd_.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    if (info.ssi_signo == SIGWINCH) {
      event = event == Event::None ? Event::Resize : event;
    } else {
      event = Event::Stop;
    }
  }
  return event;
}

}  // namespace Quorvane::Cli
