#include "updater/incoming_download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/diagnostics/hvx_exception.h"
#include "common/platform/atomic_file.h"
#include "common/platform/path_text.h"
#include "updater/direct_write.h"

namespace Quorvane::Updater {
namespace {

using Halvex::Exceptions::HvxArgumentException;
using Halvex::Exceptions::HvxException;

constexpr int kMaxFolderLevels = 255;

// The error of the system call that just failed, taken before anything else can change it.
std::uint32_t SystemError() { return static_cast<std::uint32_t>(errno); }

std::string WithoutSeparator(const std::string& folder) {
  return folder.substr(0, folder.size() - 1);
}

// Deletes whatever is at the folder's place and makes the folder anew.
void ReplaceFolder(const std::string& folder) {
  std::error_code error;
  const std::string path = WithoutSeparator(folder);
  if (std::filesystem::symlink_status(path, error).type() !=
      std::filesystem::file_type::not_found) {
    std::filesystem::remove_all(path, error);
    if (error) {
      throw HvxException(static_cast<std::uint32_t>(error.value()),
                         "Could not delete directory for update file");
    }
  }
  struct stat status {};
  if (!Platform::CreateFolderChain(path, kMaxFolderLevels) || lstat(path.c_str(), &status) != 0 ||
      !S_ISDIR(status.st_mode)) {
    throw HvxException(SystemError(), "Could not create directory for update file");
  }
}

}  // namespace

bool IsSafeDownloadName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos && name.find("..") == std::string::npos &&
         name.find('\0') == std::string::npos;
}

IncomingDownload::IncomingDownload(std::string folder, std::uint32_t limitMb)
    : folder_(std::move(folder)),
      limitBytes_(std::uint64_t{limitMb} << 20),
      limitMb_(limitMb),
      disk_(
          [this](const FilePiece& piece) {
            if (writeError_ == 0) {
              writeError_ = WritePiece(current_.Get(), piece, diskOffset_);
              diskOffset_ += static_cast<off_t>(piece.Size());
            }
          },
          [this](FilePiece piece) { pool_.Give(std::move(piece)); }),
      hashing_([this](const FilePiece& piece) { digest_.Update(piece.View()); },
               [this](FilePiece piece) { disk_.Hand(std::move(piece)); }) {}

IncomingDownload::~IncomingDownload() { Discard(); }

void IncomingDownload::WaitForPieces() {
  hashing_.Wait();
  disk_.Wait();
}

void IncomingDownload::ThrowWriteError() const {
  if (const int error = writeError_) {
    throw HvxException(static_cast<std::uint32_t>(error), "Could not write file for update file");
  }
}

void IncomingDownload::Discard() {
  writeError_ = ECANCELED;  // pieces still queued for the given-up file are not written
  WaitForPieces();
  current_ = {};
  files_.clear();
  claimed_ = 0;
  received_ = 0;
  if (made_) {
    std::error_code error;
    std::filesystem::remove_all(WithoutSeparator(folder_), error);
    made_ = false;
  }
}

void IncomingDownload::Begin(const FileDescriptor& file) {
  // A name that would leave the download folder is refused before its file is made.
  if (!IsSafeDownloadName(file.fileName)) {
    throw HvxArgumentException(
        "The update service gave an unsafe file name: '" + file.fileName + "'", "fileName");
  }
  // A size beyond the limit is refused before any space is reserved for it.
  if (file.size > limitBytes_ - claimed_) {
    throw HvxException("The update file '" + file.fileName + "' of " + std::to_string(file.size) +
                       " bytes takes the download beyond its limit of " + std::to_string(limitMb_) +
                       " MB (the updater's setting DownloadLimitMB)");
  }
  claimed_ += file.size;
  WaitForPieces();
  if (!made_) {
    ReplaceFolder(folder_);
    made_ = true;
  }
  // The folder was made just now: the file must be new, and never a link planted there.
  current_ = Platform::UniqueFd(open((folder_ + file.fileName).c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755));
  if (!current_.Valid()) {
    throw HvxException(SystemError(), "Could not create file for update file");
  }
  // The whole size is reserved at once: a file larger than the free space fails before its
  // bytes are fetched. File systems that cannot reserve find out while writing instead.
  if (file.size > 0 && fallocate(current_.Get(), 0, 0, static_cast<off_t>(file.size)) != 0 &&
      errno == ENOSPC) {
    throw HvxException(SystemError(),
                       "Not enough free space for update file '" + file.fileName + "'");
  }
  WriteDirectly(current_.Get());  // where the file system cannot, pieces go through the page cache
  files_.push_back({file, {}});
  digest_ = {};
  diskOffset_ = 0;
  writeError_ = 0;
}

void IncomingDownload::Write(FilePiece& piece) {
  ThrowWriteError();
  // The answer's reader writes no more than a descriptor claims; counted here all the same, so
  // that no reader can make a download outgrow its limit.
  received_ += piece.Size();
  if (received_ > limitBytes_) {
    throw HvxException("The update's files grew beyond the download limit of " +
                       std::to_string(limitMb_) + " MB (the updater's setting DownloadLimitMB)");
  }
  hashing_.Hand(std::exchange(piece, pool_.Take()));
}

void IncomingDownload::End() {
  WaitForPieces();
  ThrowWriteError();
  // On the disk before the ready file names it.
  if (fsync(current_.Get()) != 0 || close(current_.Release()) != 0) {
    throw HvxException(SystemError(), "Could not write file for update file");
  }
  files_.back().digest = digest_.Finish();
}

std::optional<std::pair<std::string, std::string>> IncomingDownload::FirstUnverified(
    const std::string& keyPath, const Signing::Version& version) const {
  for (const auto& file : files_) {
    if (Signing::IsSignatureName(file.descriptor.fileName)) {
      continue;  // signatures lie beside the files they sign
    }
    if (auto failure = Signing::VerifyFileDigest(folder_ + file.descriptor.fileName, file.digest,
                                                 keyPath, {file.descriptor.fileName, version})) {
      return std::make_pair(file.descriptor.fileName, std::move(*failure));
    }
  }
  return std::nullopt;
}

void IncomingDownload::MoveInPlace(const std::string& target) {
  const std::string path = WithoutSeparator(target);
  std::error_code error;
  std::filesystem::remove_all(path, error);
  if (error) {
    throw HvxException(static_cast<std::uint32_t>(error.value()),
                       "Could not delete directory for update file");
  }
  if (!made_ || rename(WithoutSeparator(folder_).c_str(), path.c_str()) != 0) {
    throw HvxException(SystemError(), "Could not create directory for update file");
  }
  made_ = false;
}

}  // namespace Quorvane::Updater
