#include "updater/parallel_digest.h"

#include <utility>

namespace Quorvane::Updater {
namespace {

constexpr std::size_t kPiecesAhead = 4;

}  // namespace

ParallelDigest::ParallelDigest() : worker_([this] { Hash(); }) {}

ParallelDigest::~ParallelDigest() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void ParallelDigest::Start() {
  std::unique_lock guard(lock_);
  // What is left of a file given up half-way is dropped; the piece being hashed is waited for.
  pieces_.clear();
  changed_.wait(guard, [&] { return !hashing_; });
  filling_.clear();
  finishing_ = false;
  finished_ = false;
  digest_ = {};
}

void ParallelDigest::Hand(std::string piece) {
  std::unique_lock guard(lock_);
  changed_.wait(guard, [&] { return pieces_.size() < kPiecesAhead; });
  pieces_.push_back(std::move(piece));
  changed_.notify_all();
}

void ParallelDigest::Update(std::string_view bytes) {
  filling_.append(bytes);
  if (filling_.size() >= kPieceBytes) {
    Hand(std::exchange(filling_, Spare()));
    filling_.clear();
  }
}

void ParallelDigest::Take(std::string& bytes) {
  if (filling_.empty() && bytes.size() >= kPieceBytes) {
    Hand(std::exchange(bytes, Spare()));
    return;
  }
  Update(bytes);
  bytes.clear();
}

// A piece the hashing thread is done with, its bytes left as they were: a fresh megabyte would
// cost a page fault per page as it fills, and the system's mapping and unmapping of it, and one
// emptied would be zeroed again as it grows.
std::string ParallelDigest::Spare() {
  std::lock_guard guard(lock_);
  if (spares_.empty()) {
    std::string piece;
    piece.reserve(kPieceBytes + kPieceBytes / 4);
    return piece;
  }
  std::string piece = std::move(spares_.back());
  spares_.pop_back();
  return piece;
}

Signing::FileDigest::Value ParallelDigest::Finish() {
  Hand(std::exchange(filling_, Spare()));
  std::unique_lock guard(lock_);
  finishing_ = true;
  changed_.notify_all();
  changed_.wait(guard, [&] { return finished_; });
  return value_;
}

void ParallelDigest::Hash() {
  std::unique_lock guard(lock_);
  for (;;) {
    changed_.wait(guard, [&] { return stopping_ || !pieces_.empty() || (finishing_ && !finished_); });
    if (stopping_) {
      return;
    }
    if (!pieces_.empty()) {
      std::string piece = std::move(pieces_.front());
      pieces_.pop_front();
      hashing_ = true;
      changed_.notify_all();
      guard.unlock();
      digest_.Update(piece);
      guard.lock();
      if (spares_.size() < kPiecesAhead + 1) {
        spares_.push_back(std::move(piece));
      }
      hashing_ = false;
      changed_.notify_all();
    } else {
      value_ = digest_.Finish();
      finished_ = true;
      changed_.notify_all();
    }
  }
}

}  // namespace Quorvane::Updater
