// A thread that runs one action on each piece handed to it, in the order they were handed, and
// then hands the piece on: a download's pieces are hashed and written to the disk while the
// answer is still being read, each on a core of its own where there is one.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "updater/file_piece.h"

namespace Quorvane::Updater {

class PieceWorker {
 public:
  // Neither may raise an exception.
  using Action = std::function<void(const FilePiece&)>;
  using HandOn = std::function<void(FilePiece)>;

  PieceWorker(Action action, HandOn handOn);
  PieceWorker(const PieceWorker&) = delete;
  PieceWorker& operator=(const PieceWorker&) = delete;
  // Finishes the pieces handed already.
  ~PieceWorker();

  // Queues the piece; waits while several wait already, so what is queued stays a few megabytes.
  void Hand(FilePiece piece);
  // Waits until every piece handed so far was acted on and handed on.
  void Wait();

 private:
  void Run();

  const Action action_;
  const HandOn handOn_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<FilePiece> queue_;
  bool working_ = false;  // on a piece, outside the lock
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace Quorvane::Updater
