// `health`: the load cells of a controller measured at rest.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "center/cli/cli_commands.h"
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

}  // namespace

int HealthCommand(CliSession& session, const CommandIo& io, const std::string& serial,
                  int seconds) {
  const auto found = FindController(session, io.err, serial);
  if (!found.line) return found.exitCode;
  if (NotAnswering(session, io.err, *found.line)) return kRefused;
  // The controller's load cells: its rows up to the next controller's, without the buttons.
  struct Cell {
    std::size_t row;
    Device::ChannelHealthMeter meter;
  };
  std::vector<Cell> cells;
  session.ReadLive([](std::size_t, std::uint32_t) {});  // the calibration comes with the values
  const auto rows = session.Rows();
  for (std::size_t index = *found.line + 1;
       index < rows.size() && rows[index].devicePath == rows[*found.line].devicePath; ++index) {
    if (!rows[index].isButton) {
      cells.push_back(
          {index,
           {rows[index].PresentCalibrationMinimum(), rows[index].PresentCalibrationMaximum()}});
    }
  }
  io.out << "Measuring " << serial << " for " << seconds << " s: keep your feet off the pedals.\n";
  io.out.flush();
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start);
  };
  while (elapsed() < std::chrono::seconds(seconds)) {
    session.ReadLive([](std::size_t, std::uint32_t) {});
    const auto now = elapsed();
    const auto live = session.Rows();
    for (auto& cell : cells) {
      if (cell.row < live.size()) cell.meter.Add(now, live[cell.row].PresentRawReading());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(33));
  }
  bool steady = true;
  for (const auto& cell : cells) {
    const auto health = cell.meter.HealthAt(elapsed());
    io.out << HealthLine(rows[cell.row].channelName, health);
    steady = steady && health.verdict == Device::HealthVerdict::Steady;
  }
  return steady ? kSuccess : kUnsteady;
}

}  // namespace Quorvane::Cli
