// What every command of kestrane-cli works with: the controllers (real, or simulated as for the
// center), the center's service endpoint, the beta setting of the user's center settings, and
// the controller list, found and named by the center's own discovery.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "center/app/center_settings.h"
#include "center/device/device_list.h"
#include "center/firmware/controller_hardware.h"
#include "center/firmware/firmware_job.h"
#include "center/service_calls/center_service.h"
#include "common/diagnostics/event_log.h"
#include "common/diagnostics/user_notifier.h"
#include "common/platform/clock.h"
#include "common/platform/known_folders.h"

namespace Quorvane::Cli {

// The exit codes of kestrane-cli.
enum ExitCode : int {
  kSuccess = 0,
  kFailure = 1,
  kUsage = 2,          // a bad option, or an unknown serial number, channel or version
  kNoController = 3,   // no controller is connected
  kNoService = 4,      // the service did not answer
  kRefused = 5,        // the controller refused (a calibration or flash that failed)
  kCenterRunning = 6,  // the center's window runs: it alone changes controllers now
  kUnsteady = 7,       // health: a load cell is not steady (noisy, drifting, out of range)
};

class CliSession {
 public:
  // Throws std::runtime_error when a simulated controller description cannot be read.
  CliSession(const Platform::EnvironmentLookup& environment, Platform::KnownFolders folders,
             Diagnostics::EventLog& eventLog, Platform::Clock& clock);

  // Finds the controllers; the rows replace the earlier ones. True when the set changed.
  bool Enumerate();
  // The rows, copied under the list lock.
  std::vector<Device::QuorvaneDevice> Rows();
  // Controllers the last enumeration found but may not open.
  std::vector<std::string> DeniedPaths();
  // Indexes of the device lines (one per controller), in list order.
  std::vector<std::size_t> ControllerLines();
  // The device line of the controller with this serial number; none when it is not connected.
  std::optional<std::size_t> ControllerLine(const std::string& serial);
  // Reads every controller's live reports into its rows; `show(index, value)` is called as the
  // window's poll pass calls it.
  void ReadLive(const std::function<void(std::size_t, std::uint32_t)>& show);

  // Asks the service which firmwares fit each controller and marks the newer ones pending.
  // False when the service did not answer.
  bool LookUpFirmwares();
  // Every firmware the service offers (crash recovery); none when it did not answer.
  std::optional<std::vector<Service::FirmwareEntry>> AllFirmwares();

  // The center's window (or its headless run) holds the center's lock now.
  bool CenterRunning() const;

  Firmware::FirmwareServices FirmwareServicesFor();
  Device::HidBackend& Backend() { return hardware_.Backend(); }
  Firmware::ControllerHardware& Hardware() { return hardware_; }
  Device::DeviceList& Devices() { return devices_; }
  const Center::CenterService& Service() const { return service_; }
  const Platform::KnownFolders& Folders() const { return folders_; }
  const Platform::EnvironmentLookup& Environment() const { return environment_; }
  Diagnostics::EventLog& EventLog() { return eventLog_; }
  Platform::Clock& Clock() { return clock_; }
  // The center's beta setting, and the Secure Crash Recovery box's.
  bool Beta() const { return settings_.enableBetaSoftware; }
  bool SecureCrashRecovery() const { return settings_.secureCrashRecovery; }

 private:
  Platform::EnvironmentLookup environment_;
  Platform::KnownFolders folders_;
  Diagnostics::EventLog& eventLog_;
  Platform::Clock& clock_;
  Diagnostics::StderrUserNotifier notifier_;
  Firmware::ControllerHardware hardware_;
  Center::CenterService service_;
  Device::DeviceList devices_;
  Center::SettingsValues settings_;
  bool permissionHintLogged_ = false;
};

// Finds the controllers and the one with this serial number: its device line, or the exit code
// after saying what is missing (no controller at all, or which serial numbers there are).
struct FoundController {
  std::optional<std::size_t> line;
  int exitCode = kSuccess;
};
FoundController FindController(CliSession& session, std::ostream& err, const std::string& serial);

// Says so, when the controller of the line is there but answers no report (then nothing can be
// done with it).
bool NotAnswering(CliSession& session, std::ostream& err, std::size_t line);

// Says that no controller can be used: none is connected, or those that are may not be opened
// (then what to do). The exit code for it.
int NoControllerExit(CliSession& session, std::ostream& err);

// A command that changes a controller or the center's files refuses while the center runs, so that
// the two never fight over a device or a file; true (and said) when it must.
bool RefusedWhileCenterRuns(CliSession& session, std::ostream& err);

}  // namespace Quorvane::Cli
