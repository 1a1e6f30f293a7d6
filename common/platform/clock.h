// Time as the programs' waits see it. Code that waits or measures takes a Clock, so tests can
// run a 10 s or 45 s wait in no time with a ManualClock.
#pragma once

#include <chrono>
#include <mutex>

namespace Quorvane::Platform {

class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;
  virtual ~Clock() = default;
  virtual TimePoint Now() = 0;
  virtual void SleepFor(std::chrono::milliseconds duration) = 0;
};

class SystemClock final : public Clock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void SleepFor(std::chrono::milliseconds duration) override;
};

// A clock that only moves when told to; sleeping moves it by the sleep's length at once.
class ManualClock final : public Clock {
 public:
  TimePoint Now() override;
  void SleepFor(std::chrono::milliseconds duration) override { Advance(duration); }
  void Advance(std::chrono::milliseconds duration);

 private:
  std::mutex mutex_;
  TimePoint now_{};
};

}  // namespace Quorvane::Platform
