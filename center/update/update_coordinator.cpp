#include "center/update/update_coordinator.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/system_error_text.h"
#include "common/platform/lock_file.h"
#include "common/platform/process.h"
#include "common/platform/program_start.h"
#include "common/update/updates_ready_file.h"

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

std::string UpdateCoordinator::UpdaterFolder() const { return services_.folders.installRoot + "/Quorvane/Updater/"; }

std::string UpdateCoordinator::UpdaterProgram() const { return UpdaterFolder() + "Tollwick"; }

std::string UpdateCoordinator::ElevatedLauncher() const {
  const std::string launcher = UpdaterFolder() + "quorvane-elevated";
  return Exists(launcher) ? launcher : std::string();
}

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

void UpdateCoordinator::LogWarning(const std::string& text) {
  Diagnostics::WriteEventLogEntry(services_.eventLog, Diagnostics::kCenterSource, Diagnostics::kEventWarning, text);
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
    // A damaged ready file offers nothing; the next download replaces it.
    Diagnostics::WriteEventLogEntry(services_.eventLog, Diagnostics::kCenterSource, Diagnostics::kEventError,
                                    error.ToString());
    return false;
  }
}

void UpdateCoordinator::RunUpdaterCheck(UpdateView& view) {
  Platform::ProcessSpec spec{UpdaterProgram(), {"/checkonly:center"}, UpdaterFolder(), "/dev/null"};
  if (services_.betaSoftware()) {
    spec.arguments.push_back("/isbeta:true");
  }
  // The updater must look where this center keeps its files.
  spec.environment = Platform::UserSessionEnvironment(services_.environment, services_.folders);
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
    if (Exists(CenterReadyFile())) {
      if (!updateAlreadyFound_) {
        TakeCenterOffer(view);
      } else if (view.AskToUpdate()) {
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
      if (Exists(UpdaterProgram())) {
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
  // The check's closing pass and the ribbon's command never install at the same time.
  std::optional<Platform::LockFile> mutex;
  if (const auto runtime = Platform::RuntimeFolder(services_.environment)) {
    std::error_code error;
    mutex = Platform::LockFile::Acquire(Platform::LockFilePath(*runtime, "Tollwick.Mutex"), error);
  }
  const auto finish = [&] {
    view.OffersChanged();
  };
  if (!Exists(UpdaterReadyFile())) {
    view.SetStatusText("");
    finish();
    return;
  }
  Update::UpdateReadyRecord record;
  try {
    record = Update::ReadUpdatesReadyFile(UpdaterReadyFile());
  } catch (const Halvex::Exceptions::HvxException& error) {
    Diagnostics::WriteEventLogEntry(services_.eventLog, Diagnostics::kCenterSource, Diagnostics::kEventError,
                                    error.ToString());
    finish();
    return;
  }
  const bool newer = Exists(UpdaterProgram()) && record.version > Platform::ReadFileVersion(UpdaterProgram());
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
  const std::string uupdater = UpdaterFolder() + "uupdater.sh";
  if (perform && Exists(uupdater)) {
    std::string command = record.files[0].installCommand;
    if (const auto placeholder = command.find("%s"); placeholder != std::string::npos) {
      command.replace(placeholder, 2, record.files[0].fileName);
    }
    Platform::ProcessSpec spec{"/bin/sh", {uupdater, UpdaterDownloadFolder()}, UpdaterFolder(), "/dev/null"};
    for (auto& argument : Platform::SplitParameters(command)) {
      spec.arguments.push_back(std::move(argument));
    }
    view.SetStatusText(kUpdatingUpdater);
    std::error_code error;
    const auto passed = Platform::UserSessionEnvironment(services_.environment, services_.folders);
    if (!Platform::StartElevated(spec, UpdaterFolder(), passed, error, ElevatedLauncher())) {
      LogWarning("Could not execute updater updater with error '" + ErrorText(error) + "'");
    } else {
      view.ShowProgress(true);
      services_.clock.SleepFor(3500ms);
      view.ShowProgress(false);
      std::remove(UpdaterReadyFile().c_str());
      {
        std::lock_guard lock(offersLock_);
        updaterUpdate_.reset();
      }
      view.SetStatusText("");
    }
  }
  finish();
}

void UpdateCoordinator::HandOff() {
  if (!Exists(UpdaterProgram())) {
    return;
  }
  Platform::ProcessSpec spec{UpdaterProgram(), {"/updateonly:center", "/restart:center"}, UpdaterFolder(), "/dev/null"};
  if (services_.betaSoftware()) {
    spec.arguments.push_back("/isbeta:true");
  }
  // Elevated or not, the updater works on this user's files and shows itself on their display.
  const auto passed = Platform::UserSessionEnvironment(services_.environment, services_.folders);
  spec.environment = passed;
  std::error_code error;
  if (!Platform::StartElevated(spec, UpdaterFolder(), passed, error, ElevatedLauncher())) {
    LogWarning("Could not execute updater with error '" + ErrorText(error) + "'");
  }
}

}  // namespace Quorvane::Center
