// Installing one downloaded update, from the user's side. The download's signature is checked
// first; then a tree the user can write is updated by the package's install command, run as the
// user, and any other tree by the root install helper through pkexec. This process stays the
// helper's parent and waits for it: pkexec serves only a living parent.
#pragma once

#include <string>

#include "common/platform/process.h"

namespace Quorvane::Update {

inline constexpr const char* kInstallHelperName = "quorvane-install-update";
inline constexpr const char* kPkexecProgram = "/usr/bin/pkexec";

// The public key updates are verified with, and the helper the polkit action names; both are
// installed with the updater: <root>/Quorvane/Updater/...
std::string UpdateKeyPath(const std::string& installRoot);
std::string InstallHelperPath(const std::string& installRoot);

enum class InstallOutcome {
  Installed,
  BadSignature,   // nothing ran: the signature is missing or does not verify
  NotStarted,     // the installer (or pkexec) could not be started
  NotAuthorised,  // pkexec: the authorisation was refused or the password prompt cancelled
  Failed,         // the installer ran and reported a failure
};

struct InstallResult {
  InstallOutcome outcome = InstallOutcome::Installed;
  int status = 0;      // the installer's (or pkexec's) exit status
  std::string detail;  // why the signature failed, or what the installer printed
};

struct SignedUpdate {
  std::string file;           // the download; its signature lies beside it as "<file>.minisig"
  std::string installRoot;    // the tree it updates, which holds the key and the helper
  std::string installFolder;  // the folder the update writes into
  // The package's own install command, run for a tree the user can write.
  Platform::ProcessSpec userInstaller;
};

// Blocks until the installer has ended.
InstallResult InstallSignedUpdate(const SignedUpdate& update);

// One sentence for the event log and the user: what happened to the update of `what`.
std::string DescribeInstallResult(const std::string& what, const std::string& file, const InstallResult& result);

}  // namespace Quorvane::Update
