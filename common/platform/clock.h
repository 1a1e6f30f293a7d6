// Time as the programs' waits see it. Code that waits or measures takes a Clock, so tests can
// run a 10 s or 45 s wait in no time with a ManualClock.
#pragma once

#include <chrono>
#include <condition_variable>
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

// Real time, whose sleeps end early once Wake is called (and from then on return at once), so a
// thread that sleeps in steps can be ended without waiting out a step.
class WakeableClock final : public Clock {
 public:
  TimePoint Now() override { return std::chrono::steady_clock::now(); }
  void SleepFor(std::chrono::milliseconds duration) override;
  void Wake();

 private:
  std::mutex mutex_;
  std::condition_variable woken_;
  bool awake_ = false;
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
