// The health of a load cell from its raw readings: how much it wanders at rest (noise), whether
// its resting reading moves over time (drift), the lowest and highest reading seen, and a verdict
// in plain words. Fed with the readings the live pass already takes; no clock of its own.
//
// The rules, over the last two seconds of readings (the window):
// - The window is cut in four quarters. The pedal is still when the quarters' means lie within
//   twice the noise (and at least 0.2 % of the calibrated range) of one another: no movement
//   above the noise. Only a still window is measured.
// - Noise is the standard deviation of the readings around their quarter's mean, so a slow change
//   is not taken for noise. Above 0.5 % of the calibrated range a cell is noisy: a good cell and
//   amplifier wander well under 0.1 %, and at 0.5 % a brake's bar visibly trembles.
// - Drift is how far the resting reading moved since the first still window. Above 1 % of the
//   calibrated range the cell drifts: the pedal would no longer rest at zero.
// - A resting reading more than 2 % of the range outside the calibrated range means the
//   calibration no longer fits the cell: the bar sits at an end.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

namespace Quorvane::Device {

enum class HealthVerdict { Measuring, Moving, OutOfRange, Noisy, Drifting, Steady, Silent };

struct ChannelHealth {
  HealthVerdict verdict = HealthVerdict::Measuring;
  double noise = 0;       // raw units, over the last still window
  double noiseShare = 0;  // of the calibrated range
  double drift = 0;       // raw units since the first still window
  std::uint32_t lowest = 0;
  std::uint32_t highest = 0;
};

// The verdict in plain words: "steady", "noisy: check the load cell's cable and connector", ...
std::string VerdictText(HealthVerdict verdict);

// A channel's health in one line, as the companion and the window show it: "Brake: steady (noise
// 312 raw, 0.03 % of its range; lowest 120011, highest 121500)"; the noise only where the cell
// rested long enough to measure it.
std::string HealthLine(const std::string& channel, const ChannelHealth& health);

class ChannelHealthMeter {
 public:
  static constexpr std::chrono::milliseconds kWindow{2000};
  static constexpr std::chrono::milliseconds kSilence{500};
  static constexpr double kStillFloorShare = 0.002;
  static constexpr double kNoisyShare = 0.005;
  static constexpr double kDriftShare = 0.01;
  static constexpr double kOutOfRangeShare = 0.02;

  ChannelHealthMeter(std::uint32_t calibratedMinimum, std::uint32_t calibratedMaximum);

  // A raw reading taken at `at` (any steady clock's time since some start).
  void Add(std::chrono::milliseconds at, std::uint32_t raw);
  // The health at `now`: silent when no reading came for half a second (the controller left or
  // stopped answering), else as the readings say.
  ChannelHealth HealthAt(std::chrono::milliseconds now) const;

 private:
  struct Reading {
    std::chrono::milliseconds at;
    std::uint32_t raw;
  };
  void Judge();

  double minimum_;
  double range_;
  std::deque<Reading> window_;
  std::optional<double> firstRest_;
  ChannelHealth health_;
  bool seen_ = false;
};

}  // namespace Quorvane::Device
