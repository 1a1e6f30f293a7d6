// A full disk for this process: while one lives, no file can grow past a few bytes, so writes
// fail with EFBIG as a full or failing disk would make them fail, even for root.
#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace Quorvane::Testing {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes = 8) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = signal(SIGXFSZ, SIG_IGN);  // the write fails instead of killing the process
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t previousHandler_ = SIG_DFL;
};

}  // namespace Quorvane::Testing
