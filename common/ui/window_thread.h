// Work for the window thread from another thread, waited for as a synchronous window message is:
// the caller blocks until the work has run there. Once the abandon flag turns true (the window
// or dialog is going away), the work is skipped and nobody waits for it any more.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>

namespace Quorvane::Ui {

using AbandonFlag = std::shared_ptr<std::atomic<bool>>;

// Runs `work` on the thread of `context` and waits for it; true when it ran. On that thread
// already, it runs at once.
inline bool RunOnWindowThreadAndWait(QObject* context, const AbandonFlag& abandoned,
                                     std::function<void()> work) {
  if (context == nullptr || abandoned->load()) {
    return false;
  }
  if (QThread::currentThread() == context->thread()) {
    work();
    return true;
  }
  auto ran = std::make_shared<std::promise<bool>>();
  std::future<bool> done = ran->get_future();
  QPointer<QObject> guarded(context);
  QMetaObject::invokeMethod(
      context,
      [guarded, abandoned, work = std::move(work), ran] {
        const bool run = guarded && !abandoned->load();
        if (run) {
          work();
        }
        ran->set_value(run);
      },
      Qt::QueuedConnection);
  while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (abandoned->load()) {
      return false;
    }
  }
  return done.get();
}

}  // namespace Quorvane::Ui
