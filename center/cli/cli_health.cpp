// `health` and `trace`: the load cells of a controller, measured at rest or followed live.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "center/app/list_display.h"
#include "center/cli/cli_commands.h"
#include "center/cli/live_reader.h"
#include "center/cli/terminal.h"
#include "center/device/channel_health.h"

namespace Quorvane::Cli {
namespace {

// A load cell of the controller being measured: its row and its meter.
struct Cell {
  std::size_t row;
  std::string name;
  std::uint32_t minimum;
  std::uint32_t maximum;
  Device::ChannelHealthMeter meter;
  std::deque<double> shares;  // the last ten seconds, as shares of the calibrated range
};

// The controller's load cells: its rows up to the next controller's, without the buttons. Their
// calibration comes with the first live values.
std::vector<Cell> CellsOf(CliSession& session, std::size_t line) {
  session.ReadLive([](std::size_t, std::uint32_t) {});
  std::vector<Cell> cells;
  const auto rows = session.Rows();
  for (std::size_t index = line + 1;
       index < rows.size() && rows[index].devicePath == rows[line].devicePath; ++index) {
    if (!rows[index].isButton) {
      const auto minimum = rows[index].PresentCalibrationMinimum();
      const auto maximum = rows[index].PresentCalibrationMaximum();
      cells.push_back({index, rows[index].channelName, minimum, maximum, {minimum, maximum}, {}});
    }
  }
  return cells;
}

// The readings of one pass into the cells' meters and histories.
void Take(CliSession& session, std::vector<Cell>& cells, std::chrono::milliseconds now) {
  constexpr std::size_t kHistory = 10000 / kFrameMs;
  const auto rows = session.Rows();
  for (auto& cell : cells) {
    if (cell.row >= rows.size()) continue;
    const std::uint32_t raw = rows[cell.row].PresentRawReading();
    cell.meter.Add(now, raw);
    cell.shares.push_back(Center::BarFraction(raw, static_cast<std::int32_t>(cell.minimum),
                                              static_cast<std::int32_t>(cell.maximum)));
    if (cell.shares.size() > kHistory) cell.shares.pop_front();
  }
}

// The last `width` shares as a line of block characters, lowest to highest.
std::string Sparkline(const std::deque<double>& shares, std::size_t width) {
  static const char* const kBlocks[] = {"\u2581", "\u2582", "\u2583", "\u2584",
                                        "\u2585", "\u2586", "\u2587", "\u2588"};
  std::string line;
  const std::size_t first = shares.size() > width ? shares.size() - width : 0;
  for (std::size_t at = first; at < shares.size(); ++at) {
    line += kBlocks[std::min<std::size_t>(7, static_cast<std::size_t>(shares[at] * 8))];
  }
  return line;
}

}  // namespace

int HealthCommand(CliSession& session, const CommandIo& io, const std::string& serial,
                  int seconds) {
  const auto found = FindController(session, io.err, serial);
  if (!found.line) return found.exitCode;
  if (NotAnswering(session, io.err, *found.line)) return kRefused;
  auto cells = CellsOf(session, *found.line);
  io.out << "Measuring " << serial << " for " << seconds << " s: keep your feet off the pedals.\n";
  io.out.flush();
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  };
  while (elapsed() < std::chrono::seconds(seconds)) {
    session.ReadLive([](std::size_t, std::uint32_t) {});
    Take(session, cells, elapsed());
    std::this_thread::sleep_for(std::chrono::milliseconds(kFrameMs));
  }
  bool steady = true;
  for (const auto& cell : cells) {
    const auto health = cell.meter.HealthAt(elapsed());
    io.out << Device::HealthLine(cell.name, health) << "\n";
    steady = steady && health.verdict == Device::HealthVerdict::Steady;
  }
  return steady ? kSuccess : kUnsteady;
}

int TraceCommand(CliSession& session, const CommandIo& io, const std::string& serial,
                 std::optional<int> seconds, bool json) {
  const auto found = FindController(session, io.err, serial);
  if (!found.line) return found.exitCode;
  if (NotAnswering(session, io.err, *found.line)) return kRefused;
  auto cells = CellsOf(session, *found.line);
  WatchSignals signals;  // before the reader starts, so that it too leaves the signals here
  LiveReader reader(session);
  const bool drawing = !json && IsTerminal(io.outFd);
  std::unique_ptr<WatchScreen> screen =
      drawing ? std::make_unique<WatchScreen>(io.out, io.outFd) : nullptr;
  int columns = TerminalColumns(io.outFd);
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  };
  long lastSecond = 0;
  for (;;) {
    const auto now = elapsed();
    Take(session, cells, now);
    if (drawing) {
      std::string frame = "Trace of " + serial + " (Ctrl-C ends it)\n\n";
      for (const auto& cell : cells) {
        frame += cell.name + "\n  " +
                 Sparkline(cell.shares, static_cast<std::size_t>(std::max(10, columns - 4))) +
                 "\n  " + Device::HealthLine("health", cell.meter.HealthAt(now)) + "\n";
      }
      screen->Draw(frame);
    } else if (now.count() / 1000 > lastSecond) {
      // A JSON object, or the health line, per channel and second.
      lastSecond = now.count() / 1000;
      for (const auto& cell : cells) {
        const auto health = cell.meter.HealthAt(now);
        if (json) {
          io.out << nlohmann::json{{"seconds", lastSecond},
                                   {"channel", cell.name},
                                   {"share", cell.shares.empty() ? 0.0 : cell.shares.back()},
                                   {"verdict", Device::VerdictText(health.verdict)},
                                   {"noise", health.noise},
                                   {"lowest", health.lowest},
                                   {"highest", health.highest}}
                        .dump()
                 << "\n";
        } else {
          io.out << lastSecond << " s " << Device::HealthLine(cell.name, health) << "\n";
        }
      }
      io.out.flush();
    }
    if (seconds && now >= std::chrono::seconds(*seconds)) break;
    const auto event = signals.Wait(kFrameMs);
    if (event == WatchSignals::Event::Stop) break;
    if (event == WatchSignals::Event::Resize) columns = TerminalColumns(io.outFd);
  }
  if (!reader.Stop(std::chrono::milliseconds(250))) {
    // The reader waits on a controller that does not answer: end now without it.
    screen.reset();
    io.out.flush();
    std::_Exit(kSuccess);
  }
  return kSuccess;
}

}  // namespace Quorvane::Cli
