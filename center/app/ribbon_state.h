// What the ribbon shows: which commands are enabled, which toggles are on, the labels, the
// gallery items and the application mode, all decided from the center's state; and the rule by
// which a gallery item runs only when the same item is reported twice in a row.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "center/app/center_view.h"
#include "common/platform/file_version.h"
#include "common/service_client/records.h"

namespace Quorvane::Center {

// The ribbon's commands by their identifiers.
enum class RibbonCommand {
  Exit = 10,
  Refresh = 11,
  Calibrate = 12,
  Reset = 13,
  ViewMetrics = 14,
  CheckForUpdates = 15,
  UpdateUpdater = 16,
  About = 17,
  EnableBetaSoftware = 18,
  TopMostWindow = 19,
  SecureCrashRecovery = 20,
  UpdateFirmware = 21,
  SaveFirmware = 22,
  ChangeFirmware = 23,
  UploadCustomFirmware = 25,
  CrashRecovery = 26,
  Feedback = 28,
  Messages = 29,
  CaptureWindow = 30,
  CaptureToClipboard = 31,
  CaptureToFile = 32,
  Trace = 34,
};

// Application modes: which groups of the ribbon show.
enum class RibbonMode { NothingSelected = 0, ChannelSelected = 1, DeviceSelected = 2 };

// What the state is computed from.
struct RibbonInputs {
  RibbonSelection selection = RibbonSelection::None;
  bool selectedIsDeviceLine = false;
  bool selectedFirmwareUpdateAvailable = false;
  bool selectedCanCalibrate = false;  // the controller has calibration commands for the row
  std::vector<Service::FirmwareEntry> selectedFirmwares;  // the selected row's available firmwares
  std::vector<Service::FirmwareEntry> allFirmwares;       // the all-firmwares row's
  std::optional<Platform::FileVersion> centerUpdate;      // a ready update of the center
  std::optional<Platform::FileVersion> updaterUpdate;     // a ready update of the updater
  bool enableBetaSoftware = false;
  bool topMostWindow = false;
  bool secureCrashRecovery = false;
  // The window system lets a window keep itself above the others (Wayland lets no client).
  bool windowsCanStayOnTop = true;
};

// Why Top Most Window is off where the window system lets no window stay on top.
inline constexpr const char* kNoTopMostReason =
    "This desktop (Wayland) lets no program keep its window above the others.";

struct RibbonState {
  RibbonMode mode = RibbonMode::NothingSelected;
  bool channelCommands = false;  // Reset, View Metrics; Calibrate too where the row has commands
  bool calibrate = false;
  bool deviceCommands = false;  // Change Firmware, Upload Custom Firmware
  bool updateUpdater = false;
  bool updateFirmware = false;
  bool saveFirmware = true;
  bool trace = false;  // a controller or channel is selected
  bool enableBetaSoftware = false;
  bool topMostWindow = false;
  bool topMostAvailable = true;
  bool secureCrashRecovery = false;
  std::string checkForUpdatesLabel;
  std::string updateUpdaterLabel;
  std::vector<std::string> changeFirmwareItems;  // display names, in list order
  std::vector<std::string> recoveryItems;

  bool Enabled(RibbonCommand command) const;
  // Toggles: on or off; false for every other command.
  bool Checked(RibbonCommand command) const;
  std::string Label(RibbonCommand command) const;
  // The label with its access key marked by '&' (Alt and the letter run the command), the
  // letter each command keeps whatever its label says.
  std::string KeyboardLabel(RibbonCommand command) const;
  // What the command's tooltip says: its label, or why it is off when that is not plain.
  std::string ToolTip(RibbonCommand command) const;
};

RibbonState ComputeRibbonState(const RibbonInputs& inputs);

// "Update to v1.2.3.4"
std::string UpdateToLabel(const Platform::FileVersion& version);

// A gallery reports the item under the pointer (a preview) and then the clicked item; −1 when
// the pointer leaves. An item runs only when the same index, not −1, is reported twice in a
// row; both remembered indexes then start over.
class GalleryExecution {
 public:
  // The index to run, when this report completes a pair.
  std::optional<int> Report(int index);

 private:
  int previous_ = -1;
  int last_ = -1;
};

}  // namespace Quorvane::Center
