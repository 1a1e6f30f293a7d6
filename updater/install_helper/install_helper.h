// The steps of the root install helper, the one program the updater's polkit action names. It
// takes from the user one downloaded package file (its signature lies beside it), opens both
// with the user's own rights and without following links, copies them into a staging folder only
// root can enter, verifies the copy against the key installed with it, and installs it through
// the package manager. Nothing else it uses comes from the user.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "common/platform/unique_fd.h"
#include "common/signing/signed_claim.h"
#include "common/update_install/install_helper_status.h"

namespace Quorvane::InstallHelper {

inline constexpr std::string_view kPackageSuffix = ".deb";
// Far above what a package of the programs needs (1.5 MiB in 1.0), far below what would hurt the
// system's disk: the package is copied as root before its signature can be checked.
inline constexpr std::uint64_t kMaxPackageSize = 64ull << 20;
// What staging a package must leave free for users on the file system of the staging folder,
// besides the blocks the file system keeps for root.
inline constexpr std::uint64_t kFreeSpaceReserve = 512ull << 20;

// A refusal: the exit status and what the caller is told.
struct Refusal {
  int status;
  std::string reason;
};

// The only form taken: the program and one absolute path of a ".deb" file.
std::optional<std::string> PackageArgument(int argc, const char* const* argv);

// The user pkexec acts for (PKEXEC_UID, digits only), or root for a root caller without it.
struct Caller {
  uid_t uid;
  gid_t gid;
};
std::optional<Caller> CallerOf(const char* pkexecUid, uid_t realUid);

// Opens a file of the caller's with the caller's file rights, never through a link, and only
// when it is a regular file the caller owns of at most `limit` bytes.
Platform::UniqueFd OpenCallerFile(const std::string& path, const Caller& caller,
                                  std::uint64_t limit, std::string& reason);

// A file and every folder above it belong to `owner` and nobody else may change them: what the
// helper trusts (its key) must not be replaceable by anyone but root.
bool IsTrustedPath(const std::string& path, uid_t owner, std::string& reason);

// A new folder only `owner` may enter, made inside `base` (itself made and checked as trusted).
std::optional<std::string> MakeStagingFolder(const std::string& base, uid_t owner,
                                             std::string& reason);

// The one run that may use the staging base (made and checked as trusted for `owner`): an
// exclusive lock on "<base>/helper.lock", waited for up to `timeoutSeconds`. Once it is held,
// every staging folder in `base` was left by a run that was killed, and is removed. Invalid, with
// the reason, when the lock could not be had.
Platform::UniqueFd TakeStagingBase(const std::string& base, uid_t owner, int timeoutSeconds,
                                   std::string& reason);

// Empty when `size` more bytes still leave the reserve free for users on the file system of
// `folder`, else why not.
std::optional<std::string> CheckFreeSpace(const std::string& folder, std::uint64_t size);

// Copies the package into the staging folder as "update.deb", hashing exactly the bytes it
// writes, and verifies them against the signature text and the key text; the signature's trusted
// comment must name the package's file name. The staged path and the version the signature
// names, or the refusal.
struct Staged {
  std::string path;
  Signing::Version signedVersion{};
  std::optional<Refusal> refusal;
};
Staged StageVerified(int packageFd, std::string_view signatureText, std::string_view keyText,
                     const std::string& packageFileName, const std::string& stagingFolder);

}  // namespace Quorvane::InstallHelper
