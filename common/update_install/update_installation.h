// Installing one downloaded update, from the user's side. The download's signature is checked
// first; then a tree the user can write is updated by the package's install command, run as the
// user, and any other tree by the root install helper through pkexec. This process stays the
// helper's parent and waits for it: pkexec serves only a living parent.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/platform/file_version.h"
#include "common/platform/process.h"
#include "common/signing/signed_claim.h"
#include "common/update_install/updates_ready_file.h"

namespace Quorvane::Update {

inline constexpr const char* kInstallHelperName = "quorvane-install-update";
inline constexpr const char* kPkexecProgram = "/usr/bin/pkexec";

// The public key updates are verified with, and the helper the polkit action names; both are
// installed with the updater: <root>/Quorvane/Updater/...
std::string UpdateKeyPath(const std::string& installRoot);
std::string InstallHelperPath(const std::string& installRoot);

// A ready file's install command taken apart: the first "%s" (else "%S") becomes the file's
// name and the text splits at its first blank into program and parameters; without a
// placeholder the file itself runs with the command as its parameters.
struct InstallCommand {
  std::string program;
  std::vector<std::string> arguments;
  std::string text;  // the whole command as run, for messages
  bool placeholder = false;
};
InstallCommand SplitInstallCommand(const ReadyFileEntry& entry);

// The signature covers the downloaded file, not the command beside it: a command that would run
// anything but the verified download itself is refused.
bool RunsTheDownload(const InstallCommand& command, const ReadyFileEntry& entry);

enum class InstallOutcome {
  Installed,
  Refused,        // never installable: a bad signature, a command that runs another program, or
                  // a file or package the install helper refused
  NotStarted,     // the installer (or pkexec) could not be started
  NotAuthorised,  // pkexec: the authorisation was refused or the password prompt dismissed
  Failed,         // the installer ran and reported a failure
  OtherVersion,   // the installer reported success, but another version than the offered is
                  // installed
};

struct InstallResult {
  InstallOutcome outcome = InstallOutcome::Installed;
  int status = 0;  // the installer's (or pkexec's) exit status; the system's error when not started
  std::string detail;  // why it was refused, or what the installer printed
};

// A program's file version as a signature's trusted comment names it.
Signing::Version SignedVersionOf(const Platform::FileVersion& version);

struct SignedUpdate {
  std::string file;           // the download; its signature lies beside it as "<file>.minisig"
  std::string installRoot;    // the tree it updates, which holds the key and the helper
  std::string installFolder;  // the folder the update writes into
  // The version offered, which the signature must name with the file's name, and the program
  // that carries the version once installed: an elevated install that leaves another version
  // there has failed. (Whether the offer is above the installed version is the caller's to ask,
  // once for all the files of an update.)
  Platform::FileVersion version;
  std::string installedProgram;
  // The package's own install command, run for a tree the user can write; none when the command
  // does not run the verified download.
  std::optional<Platform::ProcessSpec> userInstaller;
};

// Blocks until the installer has ended.
InstallResult InstallSignedUpdate(const SignedUpdate& update);

// One sentence (and the installer's output) for the event log and the user: what happened to the
// update of `what`.
std::string DescribeInstallResult(const std::string& what, const std::string& file,
                                  const InstallResult& result);

}  // namespace Quorvane::Update
