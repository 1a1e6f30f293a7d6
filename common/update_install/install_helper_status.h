// The exit statuses of the root install helper, which the user side reads back through pkexec.
// pkexec keeps 126 and 127 for itself.
#pragma once

namespace Quorvane::Update {

enum InstallHelperStatus : int {
  kHelperInstalled = 0,
  kHelperInternalError = 1,
  kHelperRefusedInvocation = 2,  // arguments, user or rights not as they must be
  kHelperRefusedFile = 3,  // a link, not a regular file, not the user's, too large, unreadable
  kHelperBadSignature = 4,
  kHelperRefusedPackage = 5,  // another package, or older than the installed one
  kHelperInstallerFailed = 6,
};

// The statuses that refuse the download itself: trying the same file again cannot succeed.
inline bool HelperRefusedTheDownload(int status) {
  return status == kHelperRefusedFile || status == kHelperBadSignature ||
         status == kHelperRefusedPackage;
}

}  // namespace Quorvane::Update
