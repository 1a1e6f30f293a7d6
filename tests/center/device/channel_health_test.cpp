// The load cell's health from recorded sequences of raw readings, 30 a second.
#include "center/device/channel_health.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

namespace {

using namespace Quorvane::Device;
using namespace std::chrono_literals;

constexpr std::uint32_t kMinimum = 100000;
constexpr std::uint32_t kMaximum = 1100000;  // a range of a million raw units

// Feeds `seconds` of readings given by `raw(t)` (t in milliseconds) and tells the health at the
// last reading.
ChannelHealth Record(ChannelHealthMeter& meter, double seconds,
                     const std::function<double(double)>& raw, double from = 0) {
  double t = from;
  for (; t < from + seconds * 1000; t += 33) {
    meter.Add(std::chrono::milliseconds(static_cast<long>(t)),
              static_cast<std::uint32_t>(std::llround(raw(t))));
  }
  return meter.HealthAt(std::chrono::milliseconds(static_cast<long>(t - 33)));
}

std::function<double(double)> Resting(double level, double noise, unsigned seed = 1) {
  auto random = std::make_shared<std::mt19937>(seed);
  return [=](double) { return level + std::normal_distribution<double>(0, noise)(*random); };
}

TEST(ChannelHealth, ASteadyCellANoisyOneAndTheExtremesSeen) {
  ChannelHealthMeter steady(kMinimum, kMaximum);
  EXPECT_EQ(Record(steady, 1, Resting(kMinimum + 2000, 300)).verdict, HealthVerdict::Measuring);
  const auto health = Record(steady, 2, Resting(kMinimum + 2000, 300), 1000);
  EXPECT_EQ(health.verdict, HealthVerdict::Steady);
  EXPECT_NEAR(health.noise, 300, 60);
  EXPECT_NEAR(health.noiseShare, 0.0003, 0.0001);
  EXPECT_LT(health.lowest, kMinimum + 2000);
  EXPECT_GT(health.highest, kMinimum + 2000);

  // Just under and well over 0.5 % of the range: a cell is noisy only above it.
  ChannelHealthMeter fair(kMinimum, kMaximum);
  EXPECT_EQ(Record(fair, 3, Resting(kMinimum, 4000, 2)).verdict, HealthVerdict::Steady);
  ChannelHealthMeter noisy(kMinimum, kMaximum);
  const auto loud = Record(noisy, 3, Resting(kMinimum, 9000, 3));
  EXPECT_EQ(loud.verdict, HealthVerdict::Noisy);
  EXPECT_EQ(VerdictText(loud.verdict), "noisy: check the load cell's cable and connector");
}

// A pedal pressed during the window is moving, not noisy; once it rests two seconds it is
// measured again, and the press stays among the extremes.
TEST(ChannelHealth, APressedPedalIsMovingUntilItRestsAgain) {
  ChannelHealthMeter meter(kMinimum, kMaximum);
  Record(meter, 3, Resting(kMinimum, 300));
  const auto press = [](double t) {
    return kMinimum + 600000 * std::sin(3.14159 * (t - 3000) / 1000) * (t < 4000);
  };
  EXPECT_EQ(Record(meter, 1, press, 3000).verdict, HealthVerdict::Moving);
  EXPECT_EQ(Record(meter, 1, Resting(kMinimum, 300), 4000).verdict, HealthVerdict::Moving);
  const auto rested = Record(meter, 2, Resting(kMinimum, 300), 5000);
  EXPECT_EQ(rested.verdict, HealthVerdict::Steady);
  EXPECT_GT(rested.highest, kMinimum + 590000);
}

// A resting reading that creeps slowly is still at every moment, but drifts once it moved 1 %
// of the range from where it first rested; one resting outside the calibration needs a new one.
TEST(ChannelHealth, ACreepingRestDriftsAndARestOutsideTheCalibrationIsOutOfRange) {
  ChannelHealthMeter meter(kMinimum, kMaximum);
  const auto creeping = [noise = Resting(0, 200)](double t) {
    return kMinimum + 0.8 * t + noise(t);
  };
  EXPECT_EQ(Record(meter, 3, creeping).verdict, HealthVerdict::Steady);
  const auto later = Record(meter, 12, creeping, 3000);
  EXPECT_EQ(later.verdict, HealthVerdict::Drifting);
  EXPECT_GT(later.drift, 0.01 * (kMaximum - kMinimum));

  ChannelHealthMeter below(kMinimum, kMaximum);
  EXPECT_EQ(Record(below, 3, Resting(kMinimum - 25000, 200)).verdict, HealthVerdict::OutOfRange);
  ChannelHealthMeter above(kMinimum, kMaximum);
  EXPECT_EQ(Record(above, 3, Resting(kMaximum + 25000, 200)).verdict, HealthVerdict::OutOfRange);
}

// A controller that leaves sends no more readings: half a second later it is silent, and its
// last figures are kept.
TEST(ChannelHealth, AControllerThatLeavesIsSilent) {
  ChannelHealthMeter meter(kMinimum, kMaximum);
  const auto last = Record(meter, 3, Resting(kMinimum, 300));
  EXPECT_EQ(last.verdict, HealthVerdict::Steady);
  EXPECT_EQ(meter.HealthAt(3400ms).verdict, HealthVerdict::Steady);
  const auto gone = meter.HealthAt(4000ms);
  EXPECT_EQ(gone.verdict, HealthVerdict::Silent);
  EXPECT_EQ(gone.noise, last.noise);
}

}  // namespace
