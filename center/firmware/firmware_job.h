// Flashing a firmware image into a controller through its serial bootloader: the work behind
// the change, update and crash-recovery dialogs, reported through their FirmwareView.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "center/device/hid_backend.h"
#include "center/device/quorvane_device.h"
#include "center/firmware/firmware_view.h"
#include "center/firmware/serial_port_map.h"
#include "center/service_calls/center_service.h"
#include "common/diagnostics/event_log.h"
#include "common/diagnostics/user_notifier.h"
#include "common/platform/clock.h"
#include "common/service_client/records.h"

namespace Quorvane::Firmware {

inline constexpr const char* kUsualScript = "up-bin.sh";
inline constexpr const char* kSam3x8eScript = "upx-bin.sh";
inline constexpr std::size_t kOutputBufferBytes = 1048576;
// What a change or update shows before its first step reports.
inline constexpr const char* kResetStepText =
    "Step 1 of 2: Reset Controller... Will try and Detect COM port...";

// The state a firmware dialog shares with its worker.
struct FirmwareJob {
  Device::QuorvaneDevice controller;  // a copy of the selected row
  std::array<std::uint32_t, 4> version{};
  std::string image;                            // plain bytes
  std::string fileName;                         // carried into the error log
  std::optional<Service::FirmwareEntry> entry;  // the chosen firmware (change and recovery)
};

struct FirmwareServices {
  const Center::CenterService& service;
  Device::HidBackend& backend;
  SerialPortMap& ports;
  Platform::Clock& clock;
  Diagnostics::EventLog& eventLog;
  Diagnostics::UserNotifier& notifier;
  std::string programFolder;  // where the flashing scripts lie, with a trailing '/'
  std::string tempFolder;     // the user's temporary folder, with a trailing '/'
  std::string keyPath;  // the maker's public key, which every downloaded image must verify with
  // How long a flash may take; empty: FlashTimeLimit of the image's size.
  std::optional<std::chrono::milliseconds> flashTimeLimit;
};

// Downloads the job's firmware: the version and image of the entry. False when the service
// returned nothing; a failure of the call is shown ("GetFirmware() executed with thrown
// exception") and counts as nothing.
bool GetFirmware(FirmwareJob& job, const FirmwareServices& services);

// Fetches the signature of the job's downloaded image ("<file name>.minisig" of the same entry)
// and verifies the image with it: signed with the maker's key, as that file of that version.
// Empty when it verifies, else why not.
std::optional<std::string> VerifyFirmwareSignature(const FirmwareJob& job,
                                                   const FirmwareServices& services);

// The script a change uses: "upx-bin.sh" for a controller whose firmware text is "sam3x8edue".
std::string ChangeScriptFor(const Device::QuorvaneDevice& controller);

// How long a flash of `imageBytes` may take before the flashing tool is stopped: a minute for
// the tool to start and the bootloader to answer, and time for the slowest bootloader to write
// and verify the image (500 bytes a second).
std::chrono::milliseconds FlashTimeLimit(std::size_t imageBytes);
// How long the tool may go on once its port went away (the bootloader leaves by itself at the
// end of a good flash, a moment before the tool ends).
inline constexpr std::chrono::milliseconds kPortGoneGrace{3000};

// Whether the flashing tool's output says the whole image was written and read back alike
// (avrdude's "N bytes of flash verified", bossac's "Verify successful").
bool ImageVerified(const std::string& output);

// The flashing tool's exit code from its output: the digits right after the last ':' (the whole
// text when there is none), none reading 0. Above 0 the flash failed.
std::uint64_t FlashExitCode(const std::string& output);

// The three workers. Each ends with OK enabled, or by closing the dialog after a good flash.
void RunChangeFirmware(FirmwareJob& job, const FirmwareServices& services, FirmwareView& view);
// The update flashes the job's image; without one it fetches the job's entry (the pending
// firmware) first.
void RunUpdateFirmware(FirmwareJob& job, const FirmwareServices& services, FirmwareView& view);
// Recovery writes the image scrambled when `secure` (the dialog's "Secure Crash Recovery" box).
void RunCrashRecovery(FirmwareJob& job, const FirmwareServices& services, FirmwareView& view,
                      bool secure);
// Flashes the user's own image (the job's image, read from the file named by the job's file
// name), which no signature covers: the user confirmed that before. Flashed as a change is.
void RunCustomFirmware(FirmwareJob& job, const FirmwareServices& services, FirmwareView& view);

// The folder of the image and the tool's output for one flash: <temp>quorvane-XXXXXX/Admin/, made
// anew, private to the user, and removed with everything in it when the flash is over.
class FirmwareWorkFolder {
 public:
  explicit FirmwareWorkFolder(const std::string& tempFolder);
  FirmwareWorkFolder(const FirmwareWorkFolder&) = delete;
  FirmwareWorkFolder& operator=(const FirmwareWorkFolder&) = delete;
  ~FirmwareWorkFolder();

  // With a trailing '/'; none when no such folder could be made.
  const std::optional<std::string>& Path() const { return path_; }

 private:
  std::string top_;
  std::optional<std::string> path_;
};

}  // namespace Quorvane::Firmware
