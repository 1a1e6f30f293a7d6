// The live values of a command that runs until Ctrl-C (watch, trace), read on a thread of their
// own so that a controller that does not answer never holds up the screen or Ctrl-C.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "center/cli/cli_session.h"

namespace Quorvane::Cli {

// At most 30 pictures a second.
inline constexpr int kFrameMs = 33;

// Reads the live values pass after pass (each request to a controller that does not answer
// waits out the kernel's time-out).
class LiveReader {
 public:
  explicit LiveReader(CliSession& session)
      : thread_([this, &session] {
          while (!stop_) {
            session.ReadLive([this](std::size_t row, std::uint32_t) {
              std::lock_guard lock(shownLock_);
              shown_.push_back(row);
            });
            std::this_thread::sleep_for(std::chrono::milliseconds(kFrameMs));
          }
          std::lock_guard lock(doneLock_);
          done_ = true;
          doneChanged_.notify_all();
        }) {}
  LiveReader(const LiveReader&) = delete;
  LiveReader& operator=(const LiveReader&) = delete;
  ~LiveReader() { Stop(std::chrono::hours(1)); }

  // The rows whose values changed since the last call.
  std::vector<std::size_t> TakeShown() {
    std::lock_guard lock(shownLock_);
    return std::exchange(shown_, {});
  }

  // Asks it to end and waits at most the time; false when it still waits on a controller.
  bool Stop(std::chrono::milliseconds limit) {
    stop_ = true;
    std::unique_lock lock(doneLock_);
    if (!doneChanged_.wait_for(lock, limit, [this] { return done_; })) return false;
    lock.unlock();
    if (thread_.joinable()) thread_.join();
    return true;
  }

 private:
  std::atomic<bool> stop_{false};
  std::mutex shownLock_;
  std::vector<std::size_t> shown_;
  std::mutex doneLock_;
  std::condition_variable doneChanged_;
  bool done_ = false;
  std::thread thread_;  // last: it starts once the rest is ready
};

}  // namespace Quorvane::Cli
