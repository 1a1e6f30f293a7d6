// Background tasks that must all have ended before the state they use goes away: each runs on
// its own thread, and JoinAll (or the destructor) waits for every one still running.
#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace Quorvane::Platform {

class TaskGroup {
 public:
  TaskGroup() = default;
  TaskGroup(const TaskGroup&) = delete;
  TaskGroup& operator=(const TaskGroup&) = delete;
  ~TaskGroup() { JoinAll(); }

  // Starts the task; threads of tasks that have ended are joined on the way.
  void Start(std::function<void()> task);
  void JoinAll();

 private:
  struct Task {
    std::thread thread;
    std::atomic<bool> done{false};
  };
  void JoinFinished();

  std::mutex mutex_;
  std::list<std::unique_ptr<Task>> tasks_;
};

}  // namespace Quorvane::Platform
