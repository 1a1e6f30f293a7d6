// The files of one package's update, written into a folder of their own while the answer
// arrives, each hashed for its signature as its bytes pass. They take the place of the earlier
// download only once every one of them verified: a bad or cut answer never costs the user a good
// download that waits to install.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "common/platform/unique_fd.h"
#include "common/signing/update_signature.h"
#include "updater/file_piece.h"
#include "updater/piece_worker.h"
#include "updater/update_answer.h"

namespace Quorvane::Updater {

// A file name the service may give: a plain name that stays inside the download folder.
bool IsSafeDownloadName(const std::string& name);

class IncomingDownload final : public UpdateFileWriter {
 public:
  struct File {
    FileDescriptor descriptor;
    Signing::FileDigest::Value digest{};
  };

  // `folder` ends with '/'; it is made anew for the first file, replacing whatever is there. The
  // files together may claim and hold at most `limitMb` MiB.
  IncomingDownload(std::string folder, std::uint32_t limitMb);
  IncomingDownload(const IncomingDownload&) = delete;
  IncomingDownload& operator=(const IncomingDownload&) = delete;
  // Removes the folder unless it was moved in place.
  ~IncomingDownload() override;

  // Raise HvxException (HvxArgumentException for an unsafe name) when a file cannot be written.
  // A piece is hashed and written on threads of their own; a write that failed is raised by the
  // next call.
  void Begin(const FileDescriptor& file) override;
  void Write(FilePiece& piece) override;
  void End() override;

  // Forgets what was written: the next answer starts afresh.
  void Discard();
  const std::vector<File>& Files() const { return files_; }
  // The first file that is not a signature and does not verify against its signature with the
  // key, signed as that file of `version`, with the reason; none when all verify.
  std::optional<std::pair<std::string, std::string>> FirstUnverified(
      const std::string& keyPath, const Signing::Version& version) const;
  // Puts the files in place of `target` (ending with '/'), replacing an earlier download there.
  void MoveInPlace(const std::string& target);

 private:
  // Until every piece handed over was hashed and written.
  void WaitForPieces();
  void ThrowWriteError() const;

  std::string folder_;
  std::uint64_t limitBytes_;
  std::uint32_t limitMb_;
  std::uint64_t claimed_ = 0;   // the sizes the descriptors so far claim
  std::uint64_t received_ = 0;  // the bytes handed over so far
  bool made_ = false;
  std::vector<File> files_;
  Platform::UniqueFd current_;
  PiecePool pool_;
  // Of the current file: its digest, taken by the hashing thread; where the disk thread writes
  // next; the first error of a write.
  Signing::FileDigest digest_;
  off_t diskOffset_ = 0;
  std::atomic<int> writeError_ = 0;
  // Declared last, so that they stop first: each piece is hashed, then written, then kept.
  PieceWorker disk_;
  PieceWorker hashing_;
};

}  // namespace Quorvane::Updater
