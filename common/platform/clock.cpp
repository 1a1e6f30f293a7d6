#include "common/platform/clock.h"

#include <thread>

namespace Quorvane::Platform {

void SystemClock::SleepFor(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
}

void WakeableClock::SleepFor(std::chrono::milliseconds duration) {
  std::unique_lock lock(mutex_);
  woken_.wait_for(lock, duration, [this] { return awake_; });
}

void WakeableClock::Wake() {
  {
    std::lock_guard lock(mutex_);
    awake_ = true;
  }
  woken_.notify_all();
}

Clock::TimePoint ManualClock::Now() {
  std::lock_guard lock(mutex_);
  return now_;
}

void ManualClock::Advance(std::chrono::milliseconds duration) {
  std::lock_guard lock(mutex_);
  now_ += duration;
}

}  // namespace Quorvane::Platform
