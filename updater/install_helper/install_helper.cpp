#include "updater/install_helper/install_helper.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "common/signing/update_signature.h"

namespace Quorvane::InstallHelper {
namespace {

std::string SystemText() { return std::strerror(errno); }

// File rights of this thread switched to the caller's for one open, and back to its own.
class CallerFileRights {
 public:
  explicit CallerFileRights(const Caller& caller) {
    setfsgid(caller.gid);
    setfsuid(caller.uid);
    // setfsuid reports no failure: asking again tells whether the switch took.
    switched_ = setfsuid(static_cast<uid_t>(-1)) == static_cast<int>(caller.uid) &&
                setfsgid(static_cast<gid_t>(-1)) == static_cast<int>(caller.gid);
  }
  CallerFileRights(const CallerFileRights&) = delete;
  CallerFileRights& operator=(const CallerFileRights&) = delete;
  ~CallerFileRights() {
    setfsuid(geteuid());
    setfsgid(getegid());
  }
  bool Switched() const { return switched_; }

 private:
  bool switched_ = false;
};

bool WriteWhole(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

std::optional<std::string> PackageArgument(int argc, const char* const* argv) {
  if (argc != 2 || argv[1] == nullptr) {
    return std::nullopt;
  }
  const std::string path = argv[1];
  if (path.empty() || path.front() != '/' || path.size() >= PATH_MAX ||
      !path.ends_with(kPackageSuffix) || path.size() == kPackageSuffix.size() + 1) {
    return std::nullopt;
  }
  // The path is repeated in the logs: no control characters that could forge a line there.
  for (const char character : path) {
    if (static_cast<unsigned char>(character) < 0x20 || character == 0x7F) {
      return std::nullopt;
    }
  }
  return path;
}

std::optional<Caller> CallerOf(const char* pkexecUid, uid_t realUid) {
  if (pkexecUid == nullptr) {
    // Only root itself may call without pkexec; it is then installing its own file.
    return realUid == 0 ? std::optional<Caller>(Caller{0, 0}) : std::nullopt;
  }
  const std::string_view text(pkexecUid);
  if (text.empty() || text.size() > 10 ||
      text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  const unsigned long uid = std::stoul(std::string(text));
  const passwd* entry = getpwuid(static_cast<uid_t>(uid));
  if (entry == nullptr) {
    return std::nullopt;
  }
  return Caller{entry->pw_uid, entry->pw_gid};
}

Platform::UniqueFd OpenCallerFile(const std::string& path, const Caller& caller,
                                  std::uint64_t limit, std::string& reason) {
  Platform::UniqueFd fd;
  {
    const CallerFileRights rights(caller);
    if (!rights.Switched()) {
      reason = "the user's file rights cannot be taken on";
      return {};
    }
    fd.Reset(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  }
  if (!fd.Valid()) {
    reason = errno == ELOOP ? "'" + path + "' is a link"
                            : "'" + path + "' cannot be opened: " + SystemText();
    return {};
  }
  struct stat status {};
  if (fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    reason = "'" + path + "' is not a regular file";
    return {};
  }
  if (status.st_uid != caller.uid) {
    reason = "'" + path + "' does not belong to the user who asked for the update";
    return {};
  }
  if (static_cast<std::uint64_t>(status.st_size) > limit) {
    reason = "'" + path + "' is larger than an update may be";
    return {};
  }
  // Reading from here on must block as usual.
  fcntl(fd.Get(), F_SETFL, fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
  return fd;
}

bool IsTrustedPath(const std::string& path, uid_t owner, std::string& reason) {
  std::filesystem::path current(path);
  for (;;) {
    struct stat status {};
    if (lstat(current.c_str(), &status) != 0) {
      reason = "'" + current.string() + "' cannot be examined: " + SystemText();
      return false;
    }
    if (S_ISLNK(status.st_mode) || status.st_uid != owner ||
        (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
      reason = "'" + current.string() + "' may be changed by others than its owner";
      return false;
    }
    if (current == current.root_path() || !current.has_parent_path()) {
      return true;
    }
    current = current.parent_path();
  }
}

namespace {

bool PrepareStagingBase(const std::string& base, uid_t owner, std::string& reason) {
  if (mkdir(base.c_str(), 0755) != 0 && errno != EEXIST) {
    reason = "'" + base + "' cannot be made: " + SystemText();
    return false;
  }
  return IsTrustedPath(base, owner, reason);
}

}  // namespace

std::optional<std::string> MakeStagingFolder(const std::string& base, uid_t owner,
                                             std::string& reason) {
  if (!PrepareStagingBase(base, owner, reason)) {
    return std::nullopt;
  }
  std::string pattern = base + "/staging-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {  // mode 0700
    reason = "no staging folder can be made in '" + base + "': " + SystemText();
    return std::nullopt;
  }
  return pattern;
}

Platform::UniqueFd TakeStagingBase(const std::string& base, uid_t owner, int timeoutSeconds,
                                   std::string& reason) {
  if (!PrepareStagingBase(base, owner, reason)) {
    return {};
  }
  const std::string lockPath = base + "/helper.lock";
  Platform::UniqueFd lock(open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!lock.Valid()) {
    reason = "'" + lockPath + "' cannot be opened: " + SystemText();
    return {};
  }
  for (int waited = 0; flock(lock.Get(), LOCK_EX | LOCK_NB) != 0; ++waited) {
    if (waited >= timeoutSeconds * 10) {
      reason = "another update is still being installed";
      return {};
    }
    usleep(100000);
  }
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(base, error)) {
    if (entry.path().filename().string().starts_with("staging-")) {
      std::filesystem::remove_all(entry.path(), error);
    }
  }
  return lock;
}

std::optional<std::string> CheckFreeSpace(const std::string& folder, std::uint64_t size) {
  struct statvfs status {};
  if (statvfs(folder.c_str(), &status) != 0) {
    return "the free space of '" + folder + "' cannot be read: " + SystemText();
  }
  // f_bavail leaves out the blocks kept for root: staging never eats into those.
  const std::uint64_t available = static_cast<std::uint64_t>(status.f_bavail) * status.f_frsize;
  if (available < size || available - size < kFreeSpaceReserve) {
    return "staging it would leave less than " + std::to_string(kFreeSpaceReserve >> 20) +
           " MiB free in '" + folder + "'";
  }
  return std::nullopt;
}

Staged StageVerified(int packageFd, std::string_view signatureText, std::string_view keyText,
                     const std::string& packageFileName, const std::string& stagingFolder) {
  std::string reason;
  const auto key = Signing::ParsePublicKey(keyText, reason);
  if (!key) {
    return {{},
            {},
            Refusal{Update::kHelperInternalError,
                    "the installed update key cannot be used: " + reason}};
  }
  auto signature = Signing::ParseSignature(signatureText, reason);
  const auto claim =
      signature ? Signing::ReadSignedClaim(signature->trustedComment, reason) : std::nullopt;
  if (!claim) {
    return {
        {}, {}, Refusal{Update::kHelperBadSignature, "the update is refused because " + reason}};
  }
  const std::string staged = stagingFolder + "/update" + std::string(kPackageSuffix);
  const Platform::UniqueFd out(
      open(staged.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!out.Valid()) {
    return {{},
            {},
            Refusal{Update::kHelperInternalError, "the update cannot be staged: " + SystemText()}};
  }
  // What is verified is exactly what was written: the user's file may change meanwhile, the
  // staged copy cannot.
  // The file name is checked with the signature; the version, once the package tells its own.
  Signing::SignatureCheck check(*key, std::move(*signature), {packageFileName, claim->version});
  std::vector<char> piece(1 << 20);
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t got = read(packageFd, piece.data(), piece.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      return {{},
              {},
              Refusal{Update::kHelperRefusedFile, "the update cannot be read: " + SystemText()}};
    }
    if (got == 0) break;
    total += static_cast<std::uint64_t>(got);
    if (total > kMaxPackageSize) {
      return {{},
              {},
              Refusal{Update::kHelperRefusedFile,
                      "the update grew beyond the size an update may have"}};
    }
    const std::string_view bytes(piece.data(), static_cast<std::size_t>(got));
    check.Update(bytes);
    if (!WriteWhole(out.Get(), bytes.data(), bytes.size())) {
      return {
          {},
          {},
          Refusal{Update::kHelperInternalError, "the update cannot be staged: " + SystemText()}};
    }
  }
  if (fsync(out.Get()) != 0) {
    return {{},
            {},
            Refusal{Update::kHelperInternalError, "the update cannot be staged: " + SystemText()}};
  }
  if (auto failure = check.Finish()) {
    return {
        {}, {}, Refusal{Update::kHelperBadSignature, "the update is refused because " + *failure}};
  }
  return {staged, claim->version, std::nullopt};
}

}  // namespace Quorvane::InstallHelper
