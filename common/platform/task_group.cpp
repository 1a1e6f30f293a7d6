#include "common/platform/task_group.h"

namespace Quorvane::Platform {

void TaskGroup::Start(std::function<void()> task) {
  JoinFinished();
  auto entry = std::make_unique<Task>();
  Task* raw = entry.get();
  std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(entry));
  raw->thread = std::thread([raw, task = std::move(task)] {
    task();
    raw->done = true;
  });
}

void TaskGroup::JoinFinished() {
  std::list<std::unique_ptr<Task>> finished;
  {
    std::lock_guard lock(mutex_);
    for (auto task = tasks_.begin(); task != tasks_.end();) {
      if ((*task)->done) {
        finished.push_back(std::move(*task));
        task = tasks_.erase(task);
      } else {
        ++task;
      }
    }
  }
  for (auto& task : finished) {
    task->thread.join();
  }
}

void TaskGroup::JoinAll() {
  std::list<std::unique_ptr<Task>> all;
  {
    std::lock_guard lock(mutex_);
    all.swap(tasks_);
  }
  for (auto& task : all) {
    if (task->thread.joinable()) {
      task->thread.join();
    }
  }
}

}  // namespace Quorvane::Platform
