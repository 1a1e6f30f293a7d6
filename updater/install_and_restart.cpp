#include "updater/install_and_restart.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <exception>
#include <filesystem>

#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/system_error_text.h"
#include "common/platform/file_version.h"
#include "common/platform/lock_file.h"
#include "common/platform/process.h"
#include "common/update_install/update_installation.h"
#include "common/update_install/updates_ready_file.h"

namespace Quorvane::Updater {
namespace {

using Halvex::Exceptions::HvxException;
using namespace std::chrono_literals;

bool InUpdateScope(const std::string& softwareId, std::uint32_t scope) {
  if (softwareId == "Tollwick") return false;
  if (softwareId == "Orlimar") return scope == 1 || scope == 3;
  if (softwareId == "Kestrane") return scope == 2 || scope == 3;
  return true;
}

bool InRestartScope(const std::string& softwareId, std::uint32_t scope) {
  if (softwareId == "Orlimar") return scope == 1 || scope == 4;
  if (softwareId == "Kestrane") return scope == 2 || scope == 4;
  return false;
}

// Installs one downloaded file; the outcome other than Installed is reported.
Update::InstallOutcome Install(const UpdaterContext& context, const PackageEntry& package,
                               const std::string& installFolder,
                               const Update::UpdateReadyRecord& record,
                               const Update::ReadyFileEntry& entry) {
  const std::string& softwareId = package.softwareId;
  // One installer at a time on this machine's user: the lock is handed to an installer that runs
  // as the user, so it stays taken even when this updater is killed meanwhile.
  std::optional<Platform::LockFile> installing;
  if (context.installingLock) {
    std::error_code error;
    installing = Platform::LockFile::Acquire(*context.installingLock, error);
  }
  const Update::InstallCommand command = Update::SplitInstallCommand(entry);
  std::optional<Platform::ProcessSpec> userInstaller;
  if (Update::RunsTheDownload(command, entry)) {
    userInstaller = Platform::ProcessSpec{entry.directory + entry.fileName, command.arguments,
                                          entry.directory, ""};
    if (installing) {
      userInstaller->keptDescriptors = {installing->Descriptor()};
    }
  }
  const std::string file = entry.directory + entry.fileName;
  const auto result =
      Update::InstallSignedUpdate({file, context.folders.installRoot, installFolder, record.version,
                                   installFolder + package.processName, userInstaller});
  if (result.outcome == Update::InstallOutcome::Installed) {
    return result.outcome;
  }
  if (result.outcome == Update::InstallOutcome::NotStarted &&
      access(installFolder.c_str(), W_OK) == 0) {
    // The system's reason why it could not start, not whatever errno holds by now.
    throw HvxException(
        static_cast<std::uint32_t>(result.status),
        command.placeholder
            ? "Not able to execute installer command: '" + command.text + "'"
            : "Not able to execute installer argument command: '" + command.text + "'");
  }
  const std::string text = Update::DescribeInstallResult(softwareId, file, result);
  // A refusal is the administrator's decision, not a fault of the program.
  const bool refused = result.outcome == Update::InstallOutcome::NotAuthorised;
  Diagnostics::WriteUpdaterEventLogEntry(
      context.eventLog, refused ? Diagnostics::kEventWarning : Diagnostics::kEventError, text);
  context.progress.Tell(text.substr(0, text.find('\n')));
  return result.outcome;
}

// The ready file first: a download without it is never offered, whatever else is left.
void RemoveDownload(const std::string& folder) {
  unlink((folder + Update::kUpdatesReadyFileName).c_str());
  std::error_code error;
  std::filesystem::remove_all(folder.substr(0, folder.size() - 1), error);
}

void Restart(const UpdaterContext& context, const std::string& softwareId,
             const std::string& installFolder, bool beta) {
  context.clock.SleepFor(1500ms);
  std::vector<std::string> arguments;
  if (beta) {
    arguments.push_back("/isbeta:true");
  }
  // The program runs in this user's session, as this updater does; it outlives the updater.
  Platform::ProcessSpec restart{installFolder + softwareId, arguments, installFolder, ""};
  restart.environment = {{"PWD", installFolder.substr(0, installFolder.size() - 1)}};
  restart.newSession = true;
  std::error_code error;
  if (!Platform::Process::Start(restart, error)) {
    throw HvxException(softwareId == "Orlimar" ? "Not able to restart admin"
                                               : "Not able to restart center");
  }
}

// Installs a package's pending download; raises what made the install step itself fail.
Update::InstallOutcome InstallPackage(const UpdaterContext& context, const PackageEntry& package,
                                      const std::string& installFolder,
                                      const std::string& readyFile) {
  const Update::UpdateReadyRecord record = Update::ReadUpdatesReadyFile(readyFile);
  // Asked once for all the files: the first file that installs makes the program that version.
  const Platform::FileVersion installed =
      Platform::ReadFileVersion(installFolder + package.processName);
  if (record.version == installed && installed != Platform::FileVersion{}) {
    // Installed already (one package that updates several programs, offered for each): nothing
    // is left to do, and nothing went wrong.
    RemoveDownload(context.DownloadFolder(package.softwareId));
    return Update::InstallOutcome::Installed;
  }
  if (!(record.version > installed)) {
    const std::string text =
        Update::DescribeInstallResult(package.softwareId, readyFile,
                                      {Update::InstallOutcome::Refused, 0,
                                       "its version " + record.version.ToString() +
                                           " is not above the installed " + installed.ToString()});
    Diagnostics::WriteUpdaterEventLogEntry(context.eventLog, Diagnostics::kEventError, text);
    context.progress.Tell(text);
    RemoveDownload(context.DownloadFolder(package.softwareId));
    return Update::InstallOutcome::Refused;
  }
  auto outcome = Update::InstallOutcome::Installed;
  for (const auto& entry : record.files) {
    outcome = Install(context, package, installFolder, record, entry);
    if (outcome != Update::InstallOutcome::Installed) {
      break;
    }
  }
  // Only an update that installed is forgotten, and a download that can never install: the
  // next check fetches it anew. Anything else is offered again.
  if (outcome == Update::InstallOutcome::Refused) {
    RemoveDownload(context.DownloadFolder(package.softwareId));
  } else if (outcome == Update::InstallOutcome::Installed && unlink(readyFile.c_str()) != 0) {
    const auto failure = static_cast<std::uint32_t>(errno);
    throw HvxException(failure, "Could not delete UpdatesReady File with error message: '" +
                                    Halvex::Exceptions::GetWin32ErrorMessage(failure) + "'");
  }
  return outcome;
}

// The user learns that the update did not happen, and why.
void TellFailure(const UpdaterContext& context, const std::string& softwareId,
                 const std::exception_ptr& failure) {
  std::string reason = "an unknown error";
  try {
    std::rethrow_exception(failure);
  } catch (const HvxException& error) {
    reason = error.Message();
  } catch (const std::exception& error) {
    reason = error.what();
  } catch (...) {
  }
  context.progress.Tell("The update of " + softwareId + " was not installed: " + reason);
}

}  // namespace

bool InstallAndRestart(const UpdaterContext& context, const UpdaterConfiguration& configuration,
                       const UpdateScopes& scopes) {
  for (const auto& package : configuration.Packages()) {
    // A package without an install folder of its own is not one of ours to install.
    const auto installFolder = context.InstallFolder(package.softwareId);
    if (!InUpdateScope(package.softwareId, scopes.update) || !installFolder) {
      continue;
    }
    const std::string readyFile =
        context.DownloadFolder(package.softwareId) + Update::kUpdatesReadyFileName;
    if (access(readyFile.c_str(), F_OK) != 0) {
      continue;  // nothing pending
    }
    auto outcome = Update::InstallOutcome::Failed;
    std::exception_ptr failure;
    try {
      outcome = InstallPackage(context, package, *installFolder, readyFile);
    } catch (...) {
      failure = std::current_exception();
    }
    if (failure) {
      TellFailure(context, package.softwareId, failure);
    }
    // The program that closed for its update comes back in every case: updated, or as it was,
    // even when the install step itself failed. A restart that fails then is logged beside that
    // failure, which stays the run's.
    try {
      if (InRestartScope(package.softwareId, scopes.restart)) {
        Restart(context, package.softwareId, *installFolder, scopes.beta);
      }
    } catch (const HvxException& restartFailure) {
      if (!failure) throw;
      Diagnostics::WriteUpdaterEventLogEntry(context.eventLog, Diagnostics::kEventError,
                                             restartFailure.ToString());
    }
    if (failure) {
      std::rethrow_exception(failure);  // logged by the run
    }
    if (outcome != Update::InstallOutcome::Installed) {
      return false;
    }
  }
  return true;
}

}  // namespace Quorvane::Updater
