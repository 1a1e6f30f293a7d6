#include "center/self_update/update_coordinator.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/system_error_text.h"
#include "common/platform/file_recovery.h"
#include "common/platform/lock_file.h"
#include "common/platform/process.h"
#include "common/platform/program_start.h"
#include "common/update_install/update_installation.h"
#include "common/update_install/updates_ready_file.h"

namespace Quorvane::Center {
namespace {

using namespace std::chrono_literals;

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Clears a flag on every way out of a pass.
class RunningFlag {
 public:
  explicit RunningFlag(std::atomic<bool>& flag) : flag_(flag) {}
  RunningFlag(const RunningFlag&) = delete;
  RunningFlag& operator=(const RunningFlag&) = delete;
  ~RunningFlag() { flag_ = false; }

 private:
  std::atomic<bool>& flag_;
};

std::string ErrorText(const std::error_code& error) {
  return Halvex::Exceptions::GetWin32ErrorMessage(static_cast<std::uint32_t>(error.value()));
}

}  // namespace

std::string UpdateCoordinator::UpdaterFolder() const {
  return services_.folders.installRoot + "/Quorvane/Updater/";
}

std::string UpdateCoordinator::UpdaterProgram() const { return UpdaterFolder() + "Tollwick"; }

std::string UpdateCoordinator::CenterReadyFile() const {
  return Update::UpdatesReadyFileOf(services_.folders.localAppData, "Kestrane");
}

std::string UpdateCoordinator::UpdaterReadyFile() const {
  return Update::UpdatesReadyFileOf(services_.folders.localAppData, "Tollwick");
}

std::string UpdateCoordinator::UpdaterDownloadFolder() const {
  std::string folder = Update::DownloadFolderOf(services_.folders.localAppData, "Tollwick");
  folder.pop_back();
  return folder;
}

std::optional<Platform::FileVersion> UpdateCoordinator::CenterUpdate() const {
  std::lock_guard lock(offersLock_);
  return centerUpdate_;
}

std::optional<Platform::FileVersion> UpdateCoordinator::UpdaterUpdate() const {
  std::lock_guard lock(offersLock_);
  return updaterUpdate_;
}

void UpdateCoordinator::ForgetOffers() {
  std::remove(CenterReadyFile().c_str());
  std::remove(UpdaterReadyFile().c_str());
  std::lock_guard lock(offersLock_);
  centerUpdate_.reset();
  updaterUpdate_.reset();
  updateAlreadyFound_ = false;
}

Platform::ProcessSpec::Environment UpdateCoordinator::UpdaterEnvironment() const {
  // The updater must look where this center keeps its files and locks.
  Platform::ProcessSpec::Environment environment{{"XDG_DATA_HOME", services_.folders.localAppData}};
  if (const auto runtime = Platform::RuntimeFolder(services_.environment)) {
    environment.emplace_back("XDG_RUNTIME_DIR", *runtime);
  }
  return environment;
}

void UpdateCoordinator::LogWarning(const std::string& text) {
  Diagnostics::WriteEventLogEntry(services_.eventLog, Diagnostics::kCenterSource,
                                  Diagnostics::kEventWarning, text);
}

bool UpdateCoordinator::TakeCenterOffer(UpdateView& view) {
  try {
    const auto record = Update::ReadUpdatesReadyFile(CenterReadyFile());
    view.SetStatusText(kUpdatesFound);
    {
      std::lock_guard lock(offersLock_);
      centerUpdate_ = record.version;
    }
    updateAlreadyFound_ = true;
    return true;
  } catch (const Halvex::Exceptions::HvxException& error) {
    // A damaged ready file offers nothing. It is kept aside, so that the check that follows runs
    // and its download takes the file's place.
    std::string movedTo;
    const auto moveError = Platform::MoveAsideDamaged(CenterReadyFile(), movedTo);
    Diagnostics::WriteEventLogEntry(
        services_.eventLog, Diagnostics::kCenterSource, Diagnostics::kEventError,
        error.ToString() + "\nThe updates-ready file " + CenterReadyFile() +
            " could not be read; " +
            (moveError ? "it could not be kept aside either (" + moveError.message() + ")."
                       : "it was kept as " + movedTo + "."));
    return false;
  }
}

std::optional<Platform::LockFile> UpdateCoordinator::UpdaterMutex() const {
  const auto runtime = Platform::RuntimeFolder(services_.environment);
  if (!runtime) {
    return std::nullopt;
  }
  std::error_code error;
  return Platform::LockFile::Acquire(Platform::LockFilePath(*runtime, "Tollwick.Mutex"), error);
}

void UpdateCoordinator::RunUpdaterCheck(UpdateView& view) {
  // A check replaces the updater's download folder: never while that download is installed.
  const auto mutex = UpdaterMutex();
  Platform::ProcessSpec spec{UpdaterProgram(), {"/checkonly:center"}, UpdaterFolder(), "/dev/null"};
  if (services_.betaSoftware()) {
    spec.arguments.push_back("/isbeta:true");
  }
  spec.environment = UpdaterEnvironment();
  std::error_code error;
  auto updater = Platform::Process::Start(spec, error);
  if (!updater) {
    LogWarning("Could not execute updater with error '" + ErrorText(error) + "'");
    return;
  }
  view.ShowProgress(true);
  view.SetStatusText(kCheckingForUpdate);
  while (!updater->WaitFor(100ms)) {
    if (services_.quit != nullptr && *services_.quit) {
      return;  // the center ends; the updater finishes on its own
    }
  }
  view.ShowProgress(false);
  view.SetStatusText("");
  // An updater download found by the check is taken up by the closing UpdateUpdater pass.
  if (Exists(CenterReadyFile())) {
    TakeCenterOffer(view);
  }
}

void UpdateCoordinator::CheckForUpdate(UpdateView& view) {
  if (checkRunning_.exchange(true)) {
    return;
  }
  {
    RunningFlag running(checkRunning_);
    // A ready file that cannot be read is kept aside by TakeCenterOffer: then the check runs.
    const bool alreadyFound = updateAlreadyFound_;
    const bool offered = Exists(CenterReadyFile()) && (alreadyFound || TakeCenterOffer(view));
    if (offered) {
      // The first check that finds the download offers it; the next one asks to install it.
      if (alreadyFound && view.AskToUpdate()) {
        updateOnExit_ = true;
        view.CloseForUpdate();
      }
    } else {
      if (updateAlreadyFound_) {
        // The download is gone (installed, or removed by hand): nothing is offered any more.
        view.SetStatusText("");
        std::lock_guard lock(offersLock_);
        centerUpdate_.reset();
        updateAlreadyFound_ = false;
      }
      if (Exists(UpdaterProgram()) && !updaterUpdateRunning_) {
        RunUpdaterCheck(view);
      }
    }
  }
  UpdateUpdater(view, false);
  view.OffersChanged();
}

void UpdateCoordinator::UpdateUpdater(UpdateView& view, bool perform) {
  if (updaterUpdateRunning_.exchange(true)) {
    return;
  }
  RunningFlag running(updaterUpdateRunning_);
  // The check's closing pass and the ribbon's command never install at the same time, nor while
  // the updater checks.
  const auto mutex = UpdaterMutex();
  const auto finish = [&] { view.OffersChanged(); };
  if (!Exists(UpdaterReadyFile())) {
    view.SetStatusText("");
    finish();
    return;
  }
  Update::UpdateReadyRecord record;
  try {
    record = Update::ReadUpdatesReadyFile(UpdaterReadyFile());
  } catch (const Halvex::Exceptions::HvxException& error) {
    Diagnostics::WriteEventLogEntry(services_.eventLog, Diagnostics::kCenterSource,
                                    Diagnostics::kEventError, error.ToString());
    finish();
    return;
  }
  const bool newer =
      Exists(UpdaterProgram()) && record.version > Platform::ReadFileVersion(UpdaterProgram());
  if (record.files.size() != 1 || !newer) {
    {
      std::lock_guard lock(offersLock_);
      updaterUpdate_.reset();
    }
    view.SetStatusText("");
    finish();
    return;
  }
  {
    std::lock_guard lock(offersLock_);
    updaterUpdate_ = record.version;
  }
  view.SetStatusText(kUpdatesFound);
  if (perform) {
    InstallUpdater(view, record);
  }
  finish();
}

void UpdateCoordinator::InstallUpdater(UpdateView& view, const Update::UpdateReadyRecord& record) {
  const Update::ReadyFileEntry& entry = record.files[0];
  const std::string uupdater = UpdaterFolder() + "uupdater.sh";
  if (!Exists(uupdater)) {
    return;
  }
  // For an updater folder this user can write: the script installs the download as the user,
  // when the command runs the download itself.
  const Update::InstallCommand command = Update::SplitInstallCommand(entry);
  std::optional<Platform::ProcessSpec> script;
  if (Update::RunsTheDownload(command, entry)) {
    script = Platform::ProcessSpec{
        "/bin/sh", {uupdater, UpdaterDownloadFolder(), entry.fileName}, UpdaterFolder(), ""};
    script->arguments.insert(script->arguments.end(), command.arguments.begin(),
                             command.arguments.end());
  }
  view.SetStatusText(kUpdatingUpdater);
  view.ShowProgress(true);
  const std::string file = entry.directory + entry.fileName;
  const auto result =
      Update::InstallSignedUpdate({file, services_.folders.installRoot, UpdaterFolder(),
                                   record.version, UpdaterProgram(), script});
  view.ShowProgress(false);
  view.SetStatusText("");
  if (result.outcome == Update::InstallOutcome::Installed) {
    std::remove(UpdaterReadyFile().c_str());
    std::lock_guard lock(offersLock_);
    updaterUpdate_.reset();
    return;
  }
  // Not installed: the download and the offer stay for another try, and the user learns why. A
  // download that can never install goes; the next check fetches it anew.
  if (result.outcome == Update::InstallOutcome::Refused) {
    std::remove(UpdaterReadyFile().c_str());
    std::lock_guard lock(offersLock_);
    updaterUpdate_.reset();
  }
  const std::string text = Update::DescribeInstallResult("Tollwick", file, result);
  Diagnostics::WriteEventLogEntry(services_.eventLog, Diagnostics::kCenterSource,
                                  result.outcome == Update::InstallOutcome::NotAuthorised
                                      ? Diagnostics::kEventWarning
                                      : Diagnostics::kEventError,
                                  text);
  view.TellUser(text.substr(0, text.find('\n')));
}

void UpdateCoordinator::HandOff() {
  if (!Exists(UpdaterProgram())) {
    return;
  }
  // The updater runs as this user and outlives the center: it asks for the administrator's rights
  // itself where the install needs them, waits for the install, and starts the center again.
  Platform::ProcessSpec spec{
      UpdaterProgram(), {"/updateonly:center", "/restart:center"}, UpdaterFolder(), "/dev/null"};
  if (services_.betaSoftware()) {
    spec.arguments.push_back("/isbeta:true");
  }
  spec.environment = UpdaterEnvironment();
  spec.newSession = true;
  std::error_code error;
  if (!Platform::Process::Start(spec, error)) {
    LogWarning("Could not execute updater with error '" + ErrorText(error) + "'");
  }
}

}  // namespace Quorvane::Center
