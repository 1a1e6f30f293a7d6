#include "center/device/channel_health.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace Quorvane::Device {

std::string VerdictText(HealthVerdict verdict) {
  switch (verdict) {
    case HealthVerdict::Measuring:
      return "measuring";
    case HealthVerdict::Moving:
      return "moving: keep your foot off the pedal to measure it";
    case HealthVerdict::OutOfRange:
      return "at the end of its range: calibrate";
    case HealthVerdict::Noisy:
      return "noisy: check the load cell's cable and connector";
    case HealthVerdict::Drifting:
      return "drifting: let it warm up, then calibrate its minimum";
    case HealthVerdict::Steady:
      return "steady";
    case HealthVerdict::Silent:
      return "no readings: the controller left or does not answer";
  }
  return "measuring";
}

std::string HealthLine(const std::string& channel, const ChannelHealth& health) {
  std::string line = channel + ": " + VerdictText(health.verdict);
  if (health.verdict == HealthVerdict::Silent) return line;
  char figures[160] = "";
  const bool measured =
      health.verdict != HealthVerdict::Measuring && health.verdict != HealthVerdict::Moving;
  if (measured) {
    std::snprintf(figures, sizeof figures, "noise %.0f raw, %.2f %% of its range; ", health.noise,
                  100 * health.noiseShare);
  }
  const std::size_t used = std::strlen(figures);
  std::snprintf(figures + used, sizeof figures - used, "lowest %u, highest %u", health.lowest,
                health.highest);
  return line + " (" + figures + ")";
}

ChannelHealthMeter::ChannelHealthMeter(std::uint32_t calibratedMinimum,
                                       std::uint32_t calibratedMaximum)
    : minimum_(calibratedMinimum),
      range_(std::max(1.0, static_cast<double>(calibratedMaximum) - calibratedMinimum)) {}

void ChannelHealthMeter::Add(std::chrono::milliseconds at, std::uint32_t raw) {
  health_.lowest = seen_ ? std::min(health_.lowest, raw) : raw;
  health_.highest = seen_ ? std::max(health_.highest, raw) : raw;
  seen_ = true;
  window_.push_back({at, raw});
  while (at - window_.front().at > kWindow) window_.pop_front();
  Judge();
}

ChannelHealth ChannelHealthMeter::HealthAt(std::chrono::milliseconds now) const {
  ChannelHealth health = health_;
  if (window_.empty() || now - window_.back().at > kSilence) {
    health.verdict = HealthVerdict::Silent;
  }
  return health;
}

void ChannelHealthMeter::Judge() {
  // A window is judged once it spans most of its length with enough readings in each quarter.
  const auto span = window_.back().at - window_.front().at;
  if (span < kWindow * 3 / 4 || window_.size() < 8) {
    health_.verdict = HealthVerdict::Measuring;
    return;
  }
  std::array<double, 4> sums{};
  std::array<std::size_t, 4> counts{};
  const auto quarterOf = [&](const Reading& reading) {
    const auto offset = (reading.at - window_.front().at).count();
    return std::min<std::size_t>(3, static_cast<std::size_t>(4 * offset / (span.count() + 1)));
  };
  for (const auto& reading : window_) {
    sums[quarterOf(reading)] += reading.raw;
    ++counts[quarterOf(reading)];
  }
  if (std::find(counts.begin(), counts.end(), 0u) != counts.end()) {
    health_.verdict = HealthVerdict::Measuring;
    return;
  }
  std::array<double, 4> means{};
  for (std::size_t quarter = 0; quarter < 4; ++quarter)
    means[quarter] = sums[quarter] / static_cast<double>(counts[quarter]);
  double squares = 0;
  for (const auto& reading : window_) {
    const double deviation = reading.raw - means[quarterOf(reading)];
    squares += deviation * deviation;
  }
  const double noise = std::sqrt(squares / static_cast<double>(window_.size() - 4));
  const auto [low, high] = std::minmax_element(means.begin(), means.end());
  if (*high - *low > std::max(2 * noise, kStillFloorShare * range_)) {
    health_.verdict = HealthVerdict::Moving;
    return;
  }
  const double rest = (sums[0] + sums[1] + sums[2] + sums[3]) / static_cast<double>(window_.size());
  if (!firstRest_) firstRest_ = rest;
  health_.noise = noise;
  health_.noiseShare = noise / range_;
  health_.drift = rest - *firstRest_;
  if (rest < minimum_ - kOutOfRangeShare * range_ ||
      rest > minimum_ + range_ * (1 + kOutOfRangeShare)) {
    health_.verdict = HealthVerdict::OutOfRange;
  } else if (health_.noiseShare > kNoisyShare) {
    health_.verdict = HealthVerdict::Noisy;
  } else if (std::abs(health_.drift) > kDriftShare * range_) {
    health_.verdict = HealthVerdict::Drifting;
  } else {
    health_.verdict = HealthVerdict::Steady;
  }
}

}  // namespace Quorvane::Device
