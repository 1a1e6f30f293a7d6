// `list` and `watch`: the controllers, and their live values.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "center/cli/cli_commands.h"
#include "center/cli/cli_format.h"
#include "center/cli/live_reader.h"
#include "center/cli/terminal.h"
#include "center/device/device_monitor.h"

namespace Quorvane::Cli {
namespace {

// Tells when controllers come or go: the udev monitor, or the simulated controllers' listener.
class ControllerChanges {
 public:
  explicit ControllerChanges(CliSession& session) : session_(session) {
    if (auto* simulated = session.Hardware().Simulated()) {
      simulated->SetChangeListener([this] { changed_ = true; });
    } else {
      monitor_ = std::make_unique<Device::HidDeviceMonitor>(
          [this](Device::DeviceChange) { changed_ = true; });
    }
  }
  ControllerChanges(const ControllerChanges&) = delete;
  ControllerChanges& operator=(const ControllerChanges&) = delete;
  ~ControllerChanges() {
    if (auto* simulated = session_.Hardware().Simulated()) simulated->SetChangeListener({});
  }
  bool Take() { return changed_.exchange(false); }

 private:
  CliSession& session_;
  std::atomic<bool> changed_{false};
  std::unique_ptr<Device::HidDeviceMonitor> monitor_;
};

}  // namespace

int ListCommand(CliSession& session, const CommandIo& io, bool json) {
  session.Enumerate();
  const bool answered = session.LookUpFirmwares();
  const auto controllers = Summaries(session.Rows());
  if (json) {
    io.out << ListJson(controllers, answered).dump(2) << "\n";
  } else if (!controllers.empty()) {
    io.out << ListText(controllers, answered);
  }
  if (controllers.empty()) {
    return NoControllerExit(session, io.err);
  }
  return kSuccess;
}

int WatchCommand(CliSession& session, const CommandIo& io, const std::optional<std::string>& serial,
                 bool json) {
  if (serial) {
    if (const auto found = FindController(session, io.err, *serial); !found.line)
      return found.exitCode;
  } else if (session.Enumerate(), session.ControllerLines().empty()) {
    return NoControllerExit(session, io.err);
  }
  WatchSignals
      signals;  // before the reader starts, so that it too leaves the signals to this thread
  ControllerChanges changes(session);
  LiveReader reader(session);
  const bool drawing = !json && IsTerminal(io.outFd);
  std::unique_ptr<WatchScreen> screen =
      drawing ? std::make_unique<WatchScreen>(io.out, io.outFd) : nullptr;
  int columns = TerminalColumns(io.outFd);
  bool redraw = true;
  for (;;) {
    if (changes.Take()) {
      const auto before = session.Rows();
      session.Enumerate();
      redraw = true;
      if (!drawing) {
        for (const auto& change : PresenceChanges(before, session.Rows(), serial)) {
          io.out << (json ? PresenceJsonLine(change) : PresenceLine(change));
        }
      }
    }
    const std::vector<std::size_t> shown = reader.TakeShown();
    const auto rows = session.Rows();
    if (drawing && (redraw || !shown.empty())) {
      screen->Draw(WatchFrame(LiveValues(rows, serial), columns));
    } else if (!drawing) {
      // Lines only for what changed: each row's value once when it starts, then as it moves.
      for (const auto& value : LiveValues(rows, serial)) {
        if (redraw || std::find(shown.begin(), shown.end(), value.row) != shown.end()) {
          io.out << (json ? WatchJsonLine(value) : WatchLine(value));
        }
      }
      io.out.flush();
    }
    redraw = false;
    switch (signals.Wait(kFrameMs)) {
      case WatchSignals::Event::Stop:
        if (!reader.Stop(std::chrono::milliseconds(250))) {
          // The reader waits on a controller that does not answer (the kernel's time-out): the
          // terminal is left as it was and the program ends now, without waiting for it.
          screen.reset();
          io.out.flush();
          io.err.flush();
          std::_Exit(kSuccess);
        }
        return kSuccess;
      case WatchSignals::Event::Resize:
        columns = TerminalColumns(io.outFd);
        redraw = true;
        break;
      case WatchSignals::Event::None:
        break;
    }
  }
}

}  // namespace Quorvane::Cli
