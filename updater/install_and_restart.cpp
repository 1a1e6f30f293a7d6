#include "updater/install_and_restart.h"

#include "common/platform/lock_file.h"
#include "common/platform/program_start.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/system_error_text.h"
#include "common/platform/process.h"
#include "common/update/updates_ready_file.h"

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

bool IsExecutable(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A program named without a folder is the downloaded file when the download folder has it,
// else a program on the PATH.
std::string ResolveProgram(const std::string& program, const std::string& directory) {
  if (program.find('/') == std::string::npos && IsExecutable(directory + program)) {
    return directory + program;
  }
  return program;
}

// Starts the installer and waits for it to end; its exit code is not looked at.
bool RunInstaller(const UpdaterContext& context, const std::string& program, const std::vector<std::string>& arguments,
                  const std::string& directory) {
  // One installer at a time on this machine's user: the lock is handed to the installer too, so
  // it stays taken while the installer runs even when this updater is killed meanwhile, and the
  // next updater waits for it instead of installing the same files at the same time.
  std::optional<Platform::LockFile> installing;
  if (context.installingLock) {
    std::error_code error;
    installing = Platform::LockFile::Acquire(*context.installingLock, error);
  }
  Platform::ProcessSpec spec{ResolveProgram(program, directory), arguments, directory, ""};
  if (installing) {
    spec.keptDescriptors = {installing->Descriptor()};
  }
  std::error_code error;
  auto process = Platform::Process::Start(spec, error);
  if (!process) {
    return false;
  }
  process->Wait();
  return true;
}

void Install(const UpdaterContext& context, const Update::ReadyFileEntry& entry) {
  const std::string& command = entry.installCommand;
  auto placeholder = command.find("%s");
  if (placeholder == std::string::npos) {
    placeholder = command.find("%S");
  }
  if (placeholder == std::string::npos) {
    if (!RunInstaller(context, entry.fileName, Platform::SplitParameters(command), entry.directory)) {
      throw HvxException("Not able to execute installer argument command: '" + entry.fileName + " " +
                         command + "'");
    }
    return;
  }
  std::string substituted = command;
  substituted.replace(placeholder, 2, entry.fileName);
  const auto blank = substituted.find(' ');
  const std::string program = substituted.substr(0, blank);
  const std::string parameters = blank == std::string::npos ? std::string() : substituted.substr(blank + 1);
  if (!RunInstaller(context, program, Platform::SplitParameters(parameters), entry.directory)) {
    throw HvxException("Not able to execute installer command: '" + substituted + "'");
  }
}

}  // namespace

void InstallAndRestart(const UpdaterContext& context, const UpdaterConfiguration& configuration,
                       const UpdateScopes& scopes) {
  for (const auto& package : configuration.Packages()) {
    // A package without an install folder of its own is not one of ours to install.
    if (!InUpdateScope(package.softwareId, scopes.update) || !context.InstallFolder(package.softwareId)) {
      continue;
    }
    const std::string readyFile = context.DownloadFolder(package.softwareId) + Update::kUpdatesReadyFileName;
    if (access(readyFile.c_str(), F_OK) != 0) {
      continue;  // nothing pending
    }
    const Update::UpdateReadyRecord record = Update::ReadUpdatesReadyFile(readyFile);
    for (const auto& entry : record.files) {
      Install(context, entry);
    }
    if (unlink(readyFile.c_str()) != 0) {
      const auto failure = static_cast<std::uint32_t>(errno);
      throw HvxException(failure, "Could not delete UpdatesReady File with error message: '" +
                                      Halvex::Exceptions::GetWin32ErrorMessage(failure) + "'");
    }
    if (!InRestartScope(package.softwareId, scopes.restart)) {
      continue;
    }
    const std::string installFolder = *context.InstallFolder(package.softwareId);
    context.clock.SleepFor(1500ms);
    std::error_code error;
    std::vector<std::string> arguments;
    if (scopes.beta) {
      arguments.push_back("/isbeta:true");
    }
    Platform::ProcessSpec restart{installFolder + package.softwareId, arguments, installFolder, ""};
    // Never as root: the program is the user's, whoever installed it.
    if (context.invokingUser) {
      restart = Platform::AsUser(restart, *context.invokingUser);
    }
    if (!Platform::Process::Start(restart, error)) {
      throw HvxException(package.softwareId == "Orlimar" ? "Not able to restart admin"
                                                         : "Not able to restart center");
    }
  }
}

}  // namespace Quorvane::Updater
