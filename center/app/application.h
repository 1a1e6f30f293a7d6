// The center's state and life: the stores and their workers, the settings, the controller list
// with its poll thread and firmware lookups, and the order in which they start and end.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "center/app/center_settings.h"
#include "center/app/center_view.h"
#include "center/app/ribbon_state.h"
#include "center/calibration/calibration_session.h"
#include "center/device/device_discovery.h"
#include "center/device/device_list.h"
#include "center/device/device_monitor.h"
#include "center/device/hid_backend.h"
#include "center/firmware/firmware_job.h"
#include "center/messages/local_stores.h"
#include "center/self_update/update_coordinator.h"
#include "center/service_calls/center_service.h"
#include "common/diagnostics/event_log.h"
#include "common/diagnostics/user_notifier.h"
#include "common/platform/clock.h"
#include "common/platform/known_folders.h"
#include "common/platform/task_group.h"

namespace Quorvane::Center {

inline constexpr const char* kOnlyOneInstanceText =
    "Only one instance of Kestrane is allowed to run at a single time.";

struct CenterEnvironment {
  Platform::KnownFolders folders;
  CenterService service;
  Device::HidBackend& backend;
  Diagnostics::EventLog& eventLog;
  Diagnostics::UserNotifier& notifier;
  Platform::Clock& clock;
  Firmware::SerialPortMap* ports = nullptr;  // where bootloaders show up (none: no flashing)
  // The process's environment, where the session's variables come from (display, folders).
  Platform::EnvironmentLookup environment = Platform::ProcessEnvironment();
};

using Device::DeviceChange;

class CApplication {
 public:
  explicit CApplication(CenterEnvironment environment);
  CApplication(const CApplication&) = delete;
  CApplication& operator=(const CApplication&) = delete;
  // Stops whatever still runs (as Shutdown does, without the updater hand-off).
  ~CApplication();

  // Start-up before the window: stores, workers, settings, the "/isbeta:true" switch, one
  // enumeration, the all-firmwares lookup, and the first list display.
  void StartUp(const std::string& commandLine);
  // The window exists: its view gets the calls from now on.
  void AttachView(CenterView& view) { view_ = &view; }
  // The view is attached and the poll thread starts.
  void StartPollThread(CenterView& view);
  // The end: quit flag, poll thread and workers joined in that order, lookups ended; then the
  // updater hand-off when the user accepted an update.
  void Shutdown();

  // One pass of the poll loop (refresh when requested, live values while the window is active,
  // the list display when it must be rebuilt), without its sleep.
  void PollPass();
  // A device arrival, removal or other change; ignored while the firmware update dialog is open.
  void OnDeviceChange(DeviceChange change);
  // Asks the poll thread to enumerate again (the Refresh command).
  void RequestRefresh();
  bool RefreshRequested() const { return refreshRequested_; }

  // Listeners told of every HID arrival and removal (dialogs that close then), from the
  // monitor's thread. Returns an id for RemoveDeviceChangeListener.
  int AddDeviceChangeListener(std::function<void()> listener);
  void RemoveDeviceChangeListener(int id);

  // The row the user clicked: what the ribbon shows for it. An index outside the list selects
  // nothing.
  RibbonSelection SelectRow(std::size_t index);
  void ClearSelection();
  // The selected row, copied under the list lock; empty when none.
  std::optional<Device::QuorvaneDevice> SelectedRow();
  // The ribbon's state for a selection, from the selected row, the settings and the updates.
  RibbonState CurrentRibbonState(RibbonSelection selection);

  // Commands. Toggles save the settings and return the new value.
  bool ToggleTopMostWindow();
  bool ToggleSecureCrashRecovery();
  // Beta software on or off: saved; pending downloads of the center and the updater (fetched
  // for the other setting) deleted; update offers dropped; every firmware list fetched again.
  void SetEnableBetaSoftware(bool on);
  // Sends the selected row's controller into its bootloader; false when nothing was sent.
  bool ResetSelectedRow();

  // Calibrate: the report of the selected row's device failing to open (none when it opens).
  std::optional<std::string> CalibrationOpenError();
  // The present readings of a row's channel, read under the list and device I/O locks; zeros
  // when the row is no longer in the list.
  Calibration::ChannelReadings ReadChannel(const Device::QuorvaneDevice& row);
  // Sends a calibration command for the row.
  bool SendCalibration(const Device::QuorvaneDevice& row, Calibration::CalibrationKind kind,
                       std::uint32_t parameter);

  // What the firmware workers need: service, devices, ports, folders.
  Firmware::FirmwareServices FirmwareServicesFor();

  // The update check, its offers ("Update to v...") and the hand-off at exit.
  UpdateCoordinator& Updates() { return updates_; }

  Device::DeviceList& Devices() { return devices_; }
  const Device::QuorvaneDevice& AllFirmwaresRow() const { return allFirmwares_; }
  CenterSettings& Settings() { return settings_; }
  MessageStore& Messages() { return messages_; }
  FeedbackStore& Feedback() { return feedback_; }
  const CenterEnvironment& Environment() const { return environment_; }
  // The per-user folder: <local data>/Quorvane/Kestrane/
  std::string UserFolder() const;

  // The window is shown and active: live values are read only then.
  void SetWindowActive(bool active) { windowInactive_ = !active; }
  bool WindowActive() const { return !windowInactive_; }
  // The firmware update dialog is open: device changes are ignored and a refresh waits.
  void SetFirmwareUpdateOpen(bool open) { busy_ = open; }
  bool FirmwareUpdateOpen() const { return busy_; }
  // The window system lets a window stay above the others (not so on Wayland).
  void SetWindowsCanStayOnTop(bool can) { windowsCanStayOnTop_ = can; }
  bool WindowsCanStayOnTop() const { return windowsCanStayOnTop_; }
  // Whether a row is selected (the ribbon then acts on it).
  bool RowSelected() const { return !noRowSelected_; }

 private:
  Device::DiscoveryServices DiscoveryServicesFor(CenterView& view);
  void StartLookup(std::shared_ptr<Device::FirmwareLookup> lookup, std::string identity);
  void RestartAllFirmwaresLookup();
  void FirmwaresArrived();
  void Refresh(CenterView& view);
  void PollLoop();
  void StopThreads();

  CenterEnvironment environment_;
  NoCenterView noView_;
  std::atomic<CenterView*> view_{&noView_};
  CenterSettings settings_;
  MessageStore messages_;
  FeedbackStore feedback_;
  Device::DeviceList devices_;
  std::optional<std::size_t> selectedRow_;  // guarded by the list lock
  Device::QuorvaneDevice allFirmwares_;
  UpdateCoordinator updates_;
  std::mutex listenersLock_;
  std::vector<std::pair<int, std::function<void()>>> deviceChangeListeners_;
  int nextListenerId_ = 0;
  bool permissionHintLogged_ = false;
  // Whether the user was shown, this run, that a controller is there but may not be opened.
  bool permissionHintShown_ = false;
  void TellDeniedControllers();
  Platform::TaskGroup lookups_;
  // Flags shared between threads.
  std::atomic<bool> quit_{false};
  std::atomic<bool> refreshRequested_{false};
  std::atomic<bool> refreshTextShowing_{false};
  std::atomic<bool> windowInactive_{false};
  std::atomic<bool> listDisplayNeedsRebuilding_{false};
  std::atomic<bool> noRowSelected_{true};
  std::atomic<bool> busy_{false};
  std::atomic<bool> windowsCanStayOnTop_{true};
  Platform::WakeableClock workerClock_;  // the workers' one-second steps end at shutdown
  std::thread pollThread_;
  std::thread feedbackWorker_;
  std::thread messageWorker_;
};

}  // namespace Quorvane::Center
