#include "center/app/application.h"

#include <unistd.h>

#include <chrono>
#include <utility>

#include "center/device/live_data.h"
#include "center/firmware/pending_firmware.h"
#include "center/messages/message_workers.h"
#include "center/service_calls/firmware_lookup_task.h"
#include "common/diagnostics/qv77_exception.h"
#include "common/diagnostics/system_error_text.h"
#include "common/platform/process.h"

namespace Quorvane::Center {
namespace {

using namespace std::chrono_literals;

void LogEntry(Diagnostics::EventLog& log, std::uint16_t type, const std::string& text) {
  Diagnostics::WriteEventLogEntry(log, Diagnostics::kCenterSource, type, text);
}

}  // namespace

CApplication::CApplication(CenterEnvironment environment)
    : environment_(std::move(environment)),
      updates_({environment_.folders, environment_.environment, environment_.eventLog,
                environment_.clock, [this] { return settings_.Values().enableBetaSoftware; },
                &quit_}) {
  // Calls under way give up when the center quits instead of waiting out their time-outs.
  environment_.service.settings.cancel = &quit_;
}

CApplication::~CApplication() { StopThreads(); }

std::string CApplication::UserFolder() const {
  return environment_.folders.localAppData + "/Quorvane/Kestrane/";
}

void CApplication::StartUp(const std::string& commandLine) {
  // The local stores, then their workers.
  const std::string folder = UserFolder();
  // Only this running center writes there: what a killed save left is stale.
  RemoveStaleCenterTemporaries(folder);
  feedback_.path = folder + kFeedbackFileName;
  LoadFeedbackStore(feedback_, environment_.eventLog);
  feedback_.userId = GetOrCreateUserId(folder, feedback_.recordedUserId, environment_.eventLog);
  // Feedback saved before the list recorded its identifier records it at the next pass.
  if (feedback_.recordedUserId != feedback_.userId && !feedback_.items.empty()) {
    feedback_.saveDue = true;
  }
  messages_.path = folder + kMessagesFileName;
  LoadMessageStore(messages_, environment_.eventLog);
  const WorkerServices workers{environment_.service, environment_.eventLog, workerClock_, quit_};
  feedbackWorker_ = std::thread([this, workers] { RunFeedbackResponseWorker(feedback_, workers); });
  messageWorker_ = std::thread([this, workers] { RunMessageWorker(messages_, workers); });

  settings_.StartUp(environment_.folders.programFolder + kSettingsFileName,
                    folder + kSettingsFileName, &environment_.eventLog);
  if (commandLine.find("/isbeta:true") != std::string::npos) {
    settings_.SetEnableBetaSoftware(true);
    settings_.Save();
  }

  auto services = DiscoveryServicesFor(noView_);
  Device::RetrieveQuorvaneDevices(devices_, services);
  permissionHintLogged_ = services.permissionHintLogged;
  TellDeniedControllers();
  allFirmwares_.firmwareIdentityOverride = kAllFirmwaresIdentity;
  RestartAllFirmwaresLookup();
  listDisplayNeedsRebuilding_ = true;
}

void CApplication::StartPollThread(CenterView& view) {
  AttachView(view);
  pollThread_ = std::thread([this] { PollLoop(); });
}

Device::DiscoveryServices CApplication::DiscoveryServicesFor(CenterView& view) {
  Device::DiscoveryServices services{
      environment_.backend,
      environment_.clock,
      environment_.eventLog,
      environment_.notifier,
      [this](std::shared_ptr<Device::FirmwareLookup> lookup, std::string identity) {
        StartLookup(std::move(lookup), std::move(identity));
      },
      [&view](std::vector<Device::QuorvaneDevice>& rows) { view.DropValueBars(rows); }};
  services.permissionHintLogged = permissionHintLogged_;
  return services;
}

void CApplication::StartLookup(std::shared_ptr<Device::FirmwareLookup> lookup,
                               std::string identity) {
  lookups_.Start([this, lookup = std::move(lookup), identity = std::move(identity)] {
    const LookupServices services{
        environment_.service, [this] { return settings_.Values().enableBetaSoftware; },
        environment_.eventLog, environment_.notifier, [this] { FirmwaresArrived(); }};
    RetriveFirmwareParallelUpdateThread(*lookup, identity, services);
  });
}

void CApplication::FirmwaresArrived() {
  {
    // A list with a newer firmware than the controller runs makes it the row's pending one.
    std::lock_guard lock(devices_.listLock);
    for (auto& row : devices_.rows) {
      if (!row.IsButtonRow()) {
        Firmware::MarkPendingFirmware(row);
      }
    }
  }
  view_.load()->FirmwaresArrived();
}

void CApplication::RestartAllFirmwaresLookup() {
  Device::RestartFirmwareLookup(
      allFirmwares_, [this](std::shared_ptr<Device::FirmwareLookup> lookup, std::string identity) {
        StartLookup(std::move(lookup), std::move(identity));
      });
}

void CApplication::TellDeniedControllers() {
  std::vector<std::string> denied;
  {
    std::lock_guard lock(devices_.listLock);
    denied = devices_.deniedPaths;
  }
  // Once a run: a controller the user may not open shows no line at all, so without this the
  // window would look as if none were plugged in.
  if (denied.empty() || std::exchange(permissionHintShown_, true)) {
    return;
  }
  Diagnostics::ShowWarningBox(environment_.notifier, Device::PermissionHint(denied.front()));
}

void CApplication::Refresh(CenterView& view) {
  refreshRequested_ = false;
  if (refreshTextShowing_) {
    view.SetStatusText(0, "");
    refreshTextShowing_ = false;
  } else {
    environment_.clock.SleepFor(300ms);
  }
  try {
    auto services = DiscoveryServicesFor(view);
    const bool changed = Device::RetrieveQuorvaneDevices(devices_, services);
    permissionHintLogged_ = services.permissionHintLogged;
    TellDeniedControllers();
    if (changed) {
      ClearSelection();
      view.DeviceListChanged();
      view.RefreshRibbon(RibbonSelection::None);
    }
    RestartAllFirmwaresLookup();
  } catch (const QV77Exception& error) {
    LogEntry(environment_.eventLog, Diagnostics::kEventWarning, error.ToString());
  } catch (...) {
    LogEntry(environment_.eventLog, Diagnostics::kEventWarning,
             "Unknown exception in RetrieveQuorvaneDevices.");
  }
  // An unchanged list keeps its selection: the window still shows it and its commands.
}

void CApplication::PollPass() {
  CenterView& view = *view_.load();
  if (refreshRequested_) {
    Refresh(view);
  } else if (refreshTextShowing_) {
    view.SetStatusText(0, "");
    refreshTextShowing_ = false;
  }
  if (!windowInactive_) {
    if (Device::ReadLivePass(environment_.backend, devices_,
                             [&](std::size_t row, std::uint32_t value) {
                               if (!quit_) view.SetValueBar(row, value);
                             })) {
      listDisplayNeedsRebuilding_ = true;  // a controller stopped or started answering
    }
  }
  if (listDisplayNeedsRebuilding_.exchange(false)) {
    view.RebuildListDisplay();
  }
}

void CApplication::PollLoop() {
  while (!quit_) {
    try {
      PollPass();
    } catch (...) {
      LogEntry(environment_.eventLog, Diagnostics::kEventError,
               "Application has encountered an exception in main thread loop!");
    }
    environment_.clock.SleepFor(10ms);
  }
}

void CApplication::OnDeviceChange(DeviceChange change) {
  if (change == DeviceChange::Arrival || change == DeviceChange::Removal) {
    std::vector<std::function<void()>> listeners;
    {
      std::lock_guard lock(listenersLock_);
      for (const auto& [id, listener] : deviceChangeListeners_) {
        listeners.push_back(listener);
      }
    }
    for (const auto& listener : listeners) {
      listener();
    }
  }
  // While the firmware update dialog is open, the controller comes and goes on purpose.
  if (busy_) {
    refreshRequested_ = false;
    return;
  }
  switch (change) {
    case DeviceChange::Arrival:
    case DeviceChange::Removal:
      refreshRequested_ = true;
      break;
    case DeviceChange::NodeChange:
      break;
    case DeviceChange::Other:
      refreshRequested_ = false;
      break;
  }
}

void CApplication::RequestRefresh() {
  ClearSelection();
  view_.load()->SetStatusText(0, "Refreshing...");
  refreshTextShowing_ = true;
  busy_ = false;
  refreshRequested_ = true;
  view_.load()->RefreshRibbon(RibbonSelection::None);
}

void CApplication::StopThreads() {
  quit_ = true;
  workerClock_.Wake();
  for (std::thread* thread : {&pollThread_, &feedbackWorker_, &messageWorker_}) {
    if (thread->joinable()) {
      thread->join();
    }
  }
  lookups_.JoinAll();
}

void CApplication::Shutdown() {
  StopThreads();
  view_ = &noView_;
  if (updates_.UpdateOnExit()) {
    updates_.HandOff();
  }
}

}  // namespace Quorvane::Center
