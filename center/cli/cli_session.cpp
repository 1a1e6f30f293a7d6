#include "center/cli/cli_session.h"

#include "center/app/center_settings.h"
#include "center/app/list_display.h"
#include "center/app/single_instance.h"
#include "center/device/device_discovery.h"
#include "center/device/live_data.h"
#include "center/firmware/pending_firmware.h"
#include "center/messages/local_stores.h"
#include "common/platform/atomic_file.h"
#include "common/service_client/payload_documents.h"
#include "common/update_install/update_installation.h"

namespace Quorvane::Cli {
namespace {

// The settings as the user's center has them, read without changing its file.
Center::SettingsValues CenterSettingsOf(const Platform::KnownFolders& folders) {
  for (const std::string& path :
       {folders.localAppData + "/Quorvane/Kestrane/" + Center::kSettingsFileName,
        folders.programFolder + Center::kSettingsFileName}) {
    std::error_code error;
    if (auto text = Platform::ReadWholeFile(path, error)) {
      Center::CenterSettings settings;
      std::optional<std::string> completed;
      std::string reason;
      if (settings.LoadText(*text, completed, reason)) {
        return settings.Values();
      }
    }
  }
  return {};
}

}  // namespace

CliSession::CliSession(const Platform::EnvironmentLookup& environment,
                       Platform::KnownFolders folders, Diagnostics::EventLog& eventLog,
                       Platform::Clock& clock)
    : environment_(environment),
      folders_(std::move(folders)),
      eventLog_(eventLog),
      clock_(clock),
      hardware_(environment, clock),
      service_(Center::CenterService::FromEnvironment(environment, &eventLog)),
      settings_(CenterSettingsOf(folders_)) {}

bool CliSession::Enumerate() {
  Device::DiscoveryServices services{
      hardware_.Backend(),
      clock_,
      eventLog_,
      notifier_,
      [](std::shared_ptr<Device::FirmwareLookup> lookup, std::string) {
        lookup->running = false;  // lists are asked for by the command
      },
      {}};
  services.permissionHintLogged = permissionHintLogged_;
  const bool changed = Device::RetrieveQuorvaneDevices(devices_, services);
  permissionHintLogged_ = services.permissionHintLogged;
  return changed;
}

std::vector<std::string> CliSession::DeniedPaths() {
  std::lock_guard lock(devices_.listLock);
  return devices_.deniedPaths;
}

std::vector<Device::QuorvaneDevice> CliSession::Rows() {
  std::lock_guard lock(devices_.listLock);
  return devices_.rows;
}

std::vector<std::size_t> CliSession::ControllerLines() {
  std::lock_guard lock(devices_.listLock);
  std::vector<std::size_t> lines;
  for (std::size_t index = 0; index < devices_.rows.size(); ++index) {
    if (Device::IsParentRow(devices_.rows, index)) lines.push_back(index);
  }
  return lines;
}

std::optional<std::size_t> CliSession::ControllerLine(const std::string& serial) {
  for (const std::size_t line : ControllerLines()) {
    std::lock_guard lock(devices_.listLock);
    if (devices_.rows[line].serialNumber == serial) return line;
  }
  return std::nullopt;
}

void CliSession::ReadLive(const std::function<void(std::size_t, std::uint32_t)>& show) {
  Device::ReadLivePass(hardware_.Backend(), devices_, show);
}

bool CliSession::LookUpFirmwares() {
  bool answered = true;
  for (const std::size_t line : ControllerLines()) {
    std::string identity;
    {
      std::lock_guard lock(devices_.listLock);
      identity = Device::GetFirmwareIdentity(devices_.rows[line]);
    }
    if (identity.empty()) continue;
    bool thisAnswered = false;
    const auto list =
        Center::EnumerateFirmwares(service_, identity, settings_.enableBetaSoftware, &thisAnswered);
    answered = answered && thisAnswered;
    std::lock_guard lock(devices_.listLock);
    auto& row = devices_.rows[line];
    if (list) {
      for (const auto& entry : Service::ParseFirmwareList(*list)) row.Lookup().Append(entry);
    }
    Firmware::MarkPendingFirmware(row);
  }
  return answered;
}

std::optional<std::vector<Service::FirmwareEntry>> CliSession::AllFirmwares() {
  bool answered = false;
  const auto list = Center::EnumerateFirmwares(service_, Center::kAllFirmwaresIdentity,
                                               settings_.enableBetaSoftware, &answered);
  if (!answered) return std::nullopt;
  return list ? Service::ParseFirmwareList(*list) : std::vector<Service::FirmwareEntry>();
}

bool CliSession::CenterRunning() const {
  // The center holds its single-instance lock for its whole life; taken and let go at once here.
  return Center::AcquireSingleInstance(environment_).anotherInstance;
}

Firmware::FirmwareServices CliSession::FirmwareServicesFor() {
  return {service_,
          hardware_.Backend(),
          hardware_.Ports(),
          clock_,
          eventLog_,
          notifier_,
          folders_.programFolder,
          folders_.temp,
          Update::UpdateKeyPath(folders_.installRoot)};
}

FoundController FindController(CliSession& session, std::ostream& err, const std::string& serial) {
  session.Enumerate();
  const auto rows = session.Rows();
  std::vector<std::size_t> matches;
  for (const std::size_t line : session.ControllerLines()) {
    if (rows[line].serialNumber == serial) matches.push_back(line);
  }
  if (matches.size() == 1) {
    return {matches.front(), kSuccess};
  }
  if (matches.size() > 1) {
    // Which one the user means cannot be told: acting on either could change the wrong unit.
    std::string paths;
    for (const std::size_t line : matches)
      paths += (paths.empty() ? "" : ", ") + rows[line].devicePath;
    err << "More than one controller has the serial number '" << serial << "' (" << paths
        << "). Unplug all but the one you mean and try again.\n";
    return {std::nullopt, kUsage};
  }
  std::string serials;
  for (const std::size_t line : session.ControllerLines()) {
    serials += (serials.empty() ? "" : ", ") + rows[line].serialNumber;
  }
  if (serials.empty()) {
    return {std::nullopt, NoControllerExit(session, err)};
  }
  err << "No controller with the serial number '" << serial
      << "' is connected (connected: " << serials << ").\n";
  return {std::nullopt, kUsage};
}

bool NotAnswering(CliSession& session, std::ostream& err, std::size_t line) {
  const auto rows = session.Rows();
  if (line >= rows.size() || rows[line].answering) return false;
  err << rows[line].serialNumber << " is connected but " << Center::kNotAnswering << ": "
      << Center::kNotAnsweringAdvice << ".\n";
  return true;
}

int NoControllerExit(CliSession& session, std::ostream& err) {
  const auto denied = session.DeniedPaths();
  if (denied.empty()) {
    err << "No Quorvane controller is connected.\n";
  }
  for (const auto& path : denied) {
    err << Device::PermissionHint(path) << "\n";
  }
  return kNoController;
}

bool RefusedWhileCenterRuns(CliSession& session, std::ostream& err) {
  if (!session.CenterRunning()) {
    return false;
  }
  err << "Kestrane, the Quorvane center, is running: while it runs, it alone changes the "
         "controllers and its "
         "files. Exit it (Exit in its menu or its tray icon's) and try again.\n";
  return true;
}

}  // namespace Quorvane::Cli
