// The center's side of updating: it asks the installed updater to check (and waits for it), reads
// the updates-ready files the updater leaves, offers "Update to v..." for the center and the
// updater, installs a new updater (signed, and through the install helper where the folder is
// not the user's), and at exit hands the center's own update to the updater.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "common/diagnostics/event_log.h"
#include "common/platform/clock.h"
#include "common/platform/file_version.h"
#include "common/platform/known_folders.h"
#include "common/platform/lock_file.h"
#include "common/platform/process.h"
#include "common/update_install/updates_ready_file.h"

namespace Quorvane::Center {

inline constexpr const char* kUpdateQuestion =
    "This application will close. Update. Then start again. Ok?";
inline constexpr const char* kUpdatesFound = "Updates Found...";
inline constexpr const char* kCheckingForUpdate = "Checking for update...";
inline constexpr const char* kUpdatingUpdater = "Updating Updater Application...";

// What the update work shows; called from the worker thread that runs it.
class UpdateView {
 public:
  virtual ~UpdateView() = default;
  virtual void SetStatusText(const std::string& text) = 0;
  // The status bar's progress bar: running (marquee, cycling colours) or hidden.
  virtual void ShowProgress(bool running) = 0;
  // The question before the center closes for its update; true for Yes.
  virtual bool AskToUpdate() = 0;
  // The user accepted: the window goes, and the hand-off follows at the end of the process.
  virtual void CloseForUpdate() = 0;
  // The offers changed: the ribbon shows them.
  virtual void OffersChanged() = 0;
  // Something the user must know (an update that was not installed); does not wait for them.
  virtual void TellUser(const std::string& text) = 0;
};

struct UpdateServices {
  Platform::KnownFolders folders;
  Platform::EnvironmentLookup environment;
  Diagnostics::EventLog& eventLog;
  Platform::Clock& clock;
  std::function<bool()> betaSoftware;
  // Set once the center is ending: a check stops waiting for the updater.
  const std::atomic<bool>* quit = nullptr;
};

class UpdateCoordinator {
 public:
  explicit UpdateCoordinator(UpdateServices services) : services_(std::move(services)) {}

  // Check for Updates: does nothing while a check runs. Blocks the calling (worker) thread while
  // the updater checks.
  void CheckForUpdate(UpdateView& view);
  // Update Updater: installs a newer updater when `perform`, else only refreshes its offer.
  // Does nothing while a pass runs.
  void UpdateUpdater(UpdateView& view, bool perform);
  // The exit hand-off when the user accepted the center's update: the updater installs it and
  // starts the center again.
  void HandOff();

  bool CheckRunning() const { return checkRunning_; }
  bool UpdaterUpdateRunning() const { return updaterUpdateRunning_; }
  bool UpdateOnExit() const { return updateOnExit_; }
  std::optional<Platform::FileVersion> CenterUpdate() const;
  std::optional<Platform::FileVersion> UpdaterUpdate() const;
  // The beta setting changed: the downloads and offers made for the other setting go.
  void ForgetOffers();

  // Where the updater and its files are.
  std::string UpdaterFolder() const;   // <install root>/Quorvane/Updater/
  std::string UpdaterProgram() const;  // ... /Tollwick
  std::string CenterReadyFile() const;
  std::string UpdaterReadyFile() const;
  std::string UpdaterDownloadFolder() const;  // without its trailing separator

 private:
  // The center's ready file read into the offer; false (logged) when it cannot be read.
  bool TakeCenterOffer(UpdateView& view);
  void RunUpdaterCheck(UpdateView& view);
  // Installs the downloaded updater and waits for it; the offer goes only when it installed.
  void InstallUpdater(UpdateView& view, const Update::UpdateReadyRecord& record);
  Platform::ProcessSpec::Environment UpdaterEnvironment() const;
  // "Tollwick.Mutex", held while the updater checks or its own update installs.
  std::optional<Platform::LockFile> UpdaterMutex() const;
  void LogWarning(const std::string& text);

  UpdateServices services_;
  std::atomic<bool> checkRunning_{false};
  std::atomic<bool> updaterUpdateRunning_{false};
  std::atomic<bool> updateOnExit_{false};
  std::atomic<bool> updateAlreadyFound_{false};  // a check saw the center's ready file
  mutable std::mutex offersLock_;
  std::optional<Platform::FileVersion> centerUpdate_;
  std::optional<Platform::FileVersion> updaterUpdate_;
};

}  // namespace Quorvane::Center
