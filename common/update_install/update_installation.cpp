#include "common/update_install/update_installation.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "common/platform/file_version.h"
#include "common/platform/program_start.h"
#include "common/platform/unique_fd.h"
#include "common/signing/update_signature.h"
#include "common/update_install/install_helper_status.h"

namespace Quorvane::Update {
namespace {

// What an installer printed is logged; its end says why it failed.
constexpr std::size_t kKeptOutput = 16 * 1024;

// pkexec's own exit statuses when it ran nothing: 126 for a dismissed prompt, 127 for a refusal
// (and for its other failures, which say something else).
bool IsRefusedByPkexec(int status, const std::string& output) {
  return status == 126 || (status == 127 && output.find("Not authorized") != std::string::npos);
}

// The helper's last line says why it refused.
std::string HelperReason(const std::string& output) {
  std::string_view text(output);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  text = text.substr(text.rfind('\n') == std::string_view::npos ? 0 : text.rfind('\n') + 1);
  constexpr std::string_view kPrefix = "quorvane-install-update: ";
  if (text.starts_with(kPrefix)) text.remove_prefix(kPrefix.size());
  return "the install helper refused it (" + std::string(text) + ")";
}

std::string ReadCaptured(int fd) {
  std::string output;
  if (lseek(fd, 0, SEEK_SET) != 0) {
    return output;
  }
  char piece[8192];
  for (;;) {
    const ssize_t got = read(fd, piece, sizeof piece);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output.append(piece, static_cast<std::size_t>(got));
    if (output.size() > 2 * kKeptOutput) {
      output.erase(0, output.size() - kKeptOutput);
    }
  }
  if (output.size() > kKeptOutput) {
    output = "..." + output.substr(output.size() - kKeptOutput);
  }
  return output;
}

// Runs the installer with its output captured, and waits for it.
InstallResult RunCaptured(Platform::ProcessSpec spec, bool elevated) {
  Platform::UniqueFd captured(memfd_create("quorvane-installer-output", MFD_CLOEXEC));
  if (captured.Valid()) {
    spec.outputFile.clear();
    spec.outputDescriptor = captured.Get();
  }
  std::error_code error;
  auto installer = Platform::Process::Start(spec, error);
  if (!installer) {
    return {InstallOutcome::NotStarted, error.value(), error.message()};
  }
  const int status = installer->Wait();
  std::string output = captured.Valid() ? ReadCaptured(captured.Get()) : std::string();
  if (status == 0) {
    return {InstallOutcome::Installed, 0, std::move(output)};
  }
  if (elevated && IsRefusedByPkexec(status, output)) {
    return {InstallOutcome::NotAuthorised, status, std::move(output)};
  }
  if (elevated && HelperRefusedTheDownload(status)) {
    return {InstallOutcome::Refused, status, HelperReason(output)};
  }
  return {InstallOutcome::Failed, status, std::move(output)};
}

}  // namespace

std::string UpdateKeyPath(const std::string& installRoot) {
  return installRoot + "/Quorvane/Updater/" + Signing::kUpdateKeyFileName;
}

std::string InstallHelperPath(const std::string& installRoot) {
  return installRoot + "/Quorvane/Updater/" + kInstallHelperName;
}

InstallCommand SplitInstallCommand(const ReadyFileEntry& entry) {
  const std::string& command = entry.installCommand;
  auto placeholder = command.find("%s");
  if (placeholder == std::string::npos) {
    placeholder = command.find("%S");
  }
  if (placeholder == std::string::npos) {
    return {entry.fileName, Platform::SplitParameters(command), entry.fileName + " " + command,
            false};
  }
  std::string substituted = command;
  substituted.replace(placeholder, 2, entry.fileName);
  const auto blank = substituted.find(' ');
  const std::string parameters =
      blank == std::string::npos ? std::string() : substituted.substr(blank + 1);
  return {substituted.substr(0, blank), Platform::SplitParameters(parameters), substituted, true};
}

bool RunsTheDownload(const InstallCommand& command, const ReadyFileEntry& entry) {
  return command.program == entry.fileName;
}

Signing::Version SignedVersionOf(const Platform::FileVersion& version) {
  return {version.major, version.minor, version.build, version.revision};
}

InstallResult InstallSignedUpdate(const SignedUpdate& update) {
  // Checked here too, although the helper checks again for itself: a bad download is refused
  // before anyone is asked for a password.
  const std::string fileName = update.file.substr(update.file.rfind('/') + 1);
  if (auto failure = Signing::VerifyFileSignature(update.file, UpdateKeyPath(update.installRoot),
                                                  {fileName, SignedVersionOf(update.version)})) {
    return {InstallOutcome::Refused, 0, std::move(*failure)};
  }
  if (access(update.installFolder.c_str(), W_OK) == 0) {
    if (!update.userInstaller) {
      return {InstallOutcome::Refused, 0,
              "its install command would run another program than the signed download"};
    }
    return RunCaptured(*update.userInstaller, false);
  }
  // The helper takes nothing but the file; its signature, the key and the installer are its own.
  Platform::ProcessSpec elevated{
      kPkexecProgram, {InstallHelperPath(update.installRoot), update.file}, "/", ""};
  InstallResult result = RunCaptured(elevated, true);
  // What the package manager installed must be what was offered: a package that carries another
  // version has not installed the update.
  const Platform::FileVersion after = Platform::ReadFileVersion(update.installedProgram);
  if (result.outcome == InstallOutcome::Installed && after != update.version) {
    return {InstallOutcome::OtherVersion, 0,
            "version " + after.ToString() + " is installed where " + update.version.ToString() +
                " was offered"};
  }
  return result;
}

std::string DescribeInstallResult(const std::string& what, const std::string& file,
                                  const InstallResult& result) {
  switch (result.outcome) {
    case InstallOutcome::Installed:
      return "The update of " + what + " was installed from '" + file + "'.";
    case InstallOutcome::Refused:
      return "The update of " + what + " was not installed: the file '" + file +
             "' is refused because " + result.detail +
             ". The download is removed; the next check fetches the update anew.";
    case InstallOutcome::NotStarted:
      return "The update of " + what + " was not installed: its installer could not be started (" +
             result.detail + ").";
    case InstallOutcome::NotAuthorised:
      return "The update of " + what +
             " was not installed: the administrator's authorisation was refused or the password "
             "prompt was "
             "cancelled. It is offered again at the next check.";
    case InstallOutcome::Failed:
      return "The update of " + what + " was not installed: its installer for '" + file +
             "' ended with status " + std::to_string(result.status) +
             ". It is offered again at the next check." +
             (result.detail.empty() ? std::string() : "\nInstaller output:\n" + result.detail);
    case InstallOutcome::OtherVersion:
      return "The update of " + what + " was not installed: its installer for '" + file +
             "' reported success, but " + result.detail +
             ". It is offered again at the next check.";
  }
  return {};
}

}  // namespace Quorvane::Update
