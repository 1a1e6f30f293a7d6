// The terminal while `watch` draws on it: the alternate screen, no cursor and no echo of typed
// keys; every setting is given back on every way out, so the terminal is left as it was. And the
// signals that end the watch (Ctrl-C, SIGTERM) or change its size, taken as events.
#pragma once

#include <termios.h>

#include <ostream>
#include <string>

#include "common/platform/unique_fd.h"

namespace Quorvane::Cli {

bool IsTerminal(int fd);
// The terminal's width in columns; 80 when it cannot be told.
int TerminalColumns(int fd);

class WatchScreen {
 public:
  WatchScreen(std::ostream& out, int fd);
  WatchScreen(const WatchScreen&) = delete;
  WatchScreen& operator=(const WatchScreen&) = delete;
  ~WatchScreen();

  // Replaces what the screen shows by the frame.
  void Draw(const std::string& frame);

 private:
  std::ostream& out_;
  int fd_;
  termios saved_{};
  bool restoreModes_ = false;
};

class WatchSignals {
 public:
  enum class Event { None, Stop, Resize };
  // Blocks SIGINT, SIGTERM and SIGWINCH for this thread and takes them here instead.
  WatchSignals();
  WatchSignals(const WatchSignals&) = delete;
  WatchSignals& operator=(const WatchSignals&) = delete;
  ~WatchSignals();

  // Waits at most the time for one of them.
  Event Wait(int milliseconds);

 private:
  sigset_t set_{};
  sigset_t previous_{};
  Platform::UniqueFd fd_;
};

}  // namespace Quorvane::Cli
