// A file's digest taken on a thread of its own while the bytes are written: hashing costs about
// as much as everything else a download does, and the machine has another core for it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/signing/update_signature.h"

namespace Quorvane::Updater {

class ParallelDigest {
 public:
  // Bytes are hashed in pieces of this size: pieces at least this long are taken without a copy.
  static constexpr std::size_t kPieceBytes = 1024 * 1024;

  ParallelDigest();
  ParallelDigest(const ParallelDigest&) = delete;
  ParallelDigest& operator=(const ParallelDigest&) = delete;
  ~ParallelDigest();

  // Starts the digest of a new file.
  void Start();
  // Copies the bytes for the hashing thread; waits while it is several pieces behind, so what it
  // holds stays a few megabytes.
  void Update(std::string_view bytes);
  // The same for bytes it may keep without a copy: `bytes` is left with another buffer, of any
  // size and content, for the caller's next bytes.
  void Take(std::string& bytes);
  // The digest of everything given since Start.
  Signing::FileDigest::Value Finish();

 private:
  void Hash();
  void Hand(std::string piece);
  std::string Spare();

  std::mutex lock_;
  std::condition_variable changed_;
  std::deque<std::string> pieces_;
  std::string filling_;
  std::vector<std::string> spares_;  // emptied pieces, their memory kept for the next ones
  bool finishing_ = false;  // the last piece of the file was handed over
  bool finished_ = false;   // the hashing thread has taken it
  bool hashing_ = false;    // the hashing thread works on a piece, outside the lock
  bool stopping_ = false;
  Signing::FileDigest digest_;
  Signing::FileDigest::Value value_{};
  std::thread worker_;
};

}  // namespace Quorvane::Updater
