#include "updater/piece_worker.h"

#include <utility>

namespace Quorvane::Updater {
namespace {

constexpr std::size_t kPiecesQueued = 4;

}  // namespace

PieceWorker::PieceWorker(Action action, HandOn handOn)
    : action_(std::move(action)), handOn_(std::move(handOn)), thread_([this] { Run(); }) {}

PieceWorker::~PieceWorker() {
  Wait();
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void PieceWorker::Hand(FilePiece piece) {
  std::unique_lock guard(lock_);
  changed_.wait(guard, [&] { return queue_.size() < kPiecesQueued; });
  queue_.push_back(std::move(piece));
  changed_.notify_all();
}

void PieceWorker::Wait() {
  std::unique_lock guard(lock_);
  changed_.wait(guard, [&] { return queue_.empty() && !working_; });
}

void PieceWorker::Run() {
  std::unique_lock guard(lock_);
  for (;;) {
    changed_.wait(guard, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) {
      return;
    }
    FilePiece piece = std::move(queue_.front());
    queue_.pop_front();
    working_ = true;
    changed_.notify_all();
    guard.unlock();
    action_(piece);
    handOn_(std::move(piece));
    guard.lock();
    working_ = false;
    changed_.notify_all();
  }
}

}  // namespace Quorvane::Updater
