#include "common/platform/clock.h"

#include <thread>

namespace Quorvane::Platform {

void SystemClock::SleepFor(std::chrono::milliseconds duration) {
  std::this_thread::sleep_for(duration);
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
