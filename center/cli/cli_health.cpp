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

#include "center/cli/cli_commands.h"
#include "center/cli/live_reader.h"
#include "center/cli/terminal.h"
#include "center/device/channel_health.h"

namespace Quorvane::Cli {
namespace {

// "Brake: steady (noise 312 raw, 0.03 % of its range; lowest 120011, highest 121500)"; the noise
// only where the cell rested long enough to measure it.
std::string HealthLine(const std::string& channel, const Device::ChannelHealth& health) {
  using Device::HealthVerdict;
  char noise[80] = "";
  char extremes[80] = "";
  const bool measured = health.verdict != HealthVerdict::Measuring &&
                        health.verdict != HealthVerdict::Moving &&
                        health.verdict != HealthVerdict::Silent;
  if (measured) {
    std::snprintf(noise, sizeof noise, "noise %.0f raw, %.2f %% of its range; ", health.noise,
                  100 * health.noiseShare);
  }
  std::snprintf(extremes, sizeof extremes, "lowest %u, highest %u", health.lowest, health.highest);
  return channel + ": " + Device::VerdictText(health.verdict) +
         (health.verdict == HealthVerdict::Silent ? ""
                                                  : " (" + std::string(noise) + extremes + ")") +
         "\n";
}

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
    const double range = std::max(1.0, static_cast<double>(cell.maximum) - cell.minimum);
    cell.shares.push_back(std::clamp((static_cast<double>(raw) - cell.minimum) / range, 0.0, 1.0));
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
    io.out << HealthLine(cell.name, health);
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
                 "\n  " + HealthLine("health", cell.meter.HealthAt(now));
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
          io.out << lastSecond << " s " << HealthLine(cell.name, health);
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
