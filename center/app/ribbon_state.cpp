#include "center/app/ribbon_state.h"

namespace Quorvane::Center {
namespace {

std::vector<std::string> DisplayNames(const std::vector<Service::FirmwareEntry>& entries) {
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const auto& entry : entries) {
    names.push_back(entry.displayName);
  }
  return names;
}

}  // namespace

std::string UpdateToLabel(const Platform::FileVersion& version) {
  return "Update to v" + version.ToString();
}

RibbonState ComputeRibbonState(const RibbonInputs& inputs) {
  RibbonState state;
  const bool selected = inputs.selection != RibbonSelection::None;
  state.trace = selected;
  state.channelCommands = selected && !inputs.selectedIsDeviceLine;
  state.deviceCommands = selected && inputs.selectedIsDeviceLine;
  // A row the controller has no calibration command for (a button, a channel beyond its axes)
  // offers no Calibrate, rather than a dialog that could only fail.
  state.calibrate = state.channelCommands && inputs.selectedCanCalibrate;
  state.updateUpdater = inputs.updaterUpdate.has_value();
  state.updateFirmware = selected && inputs.selectedFirmwareUpdateAvailable;
  state.saveFirmware = true;
  state.enableBetaSoftware = inputs.enableBetaSoftware;
  // Where no window may stay on top the toggle is off and says why, whatever the setting holds
  // (it is kept for a desktop that allows it).
  state.topMostAvailable = inputs.windowsCanStayOnTop;
  state.topMostWindow = inputs.topMostWindow && inputs.windowsCanStayOnTop;
  state.secureCrashRecovery = inputs.secureCrashRecovery;
  state.checkForUpdatesLabel =
      inputs.centerUpdate ? UpdateToLabel(*inputs.centerUpdate) : "Check for Updates";
  state.updateUpdaterLabel =
      inputs.updaterUpdate ? UpdateToLabel(*inputs.updaterUpdate) : "Update Updater";
  if (selected) {
    state.changeFirmwareItems = DisplayNames(inputs.selectedFirmwares);
  }
  state.recoveryItems = DisplayNames(inputs.allFirmwares);
  if (!selected) {
    state.mode = RibbonMode::NothingSelected;
  } else if (inputs.selectedIsDeviceLine) {
    state.mode = RibbonMode::DeviceSelected;
  } else {
    state.mode = RibbonMode::ChannelSelected;
  }
  return state;
}

bool RibbonState::Enabled(RibbonCommand command) const {
  switch (command) {
    case RibbonCommand::Calibrate:
      return calibrate;
    case RibbonCommand::Reset:
    case RibbonCommand::ViewMetrics:
      return channelCommands;
    case RibbonCommand::ChangeFirmware:
    case RibbonCommand::UploadCustomFirmware:
      return deviceCommands;
    case RibbonCommand::UpdateUpdater:
      return updateUpdater;
    case RibbonCommand::UpdateFirmware:
      return updateFirmware;
    case RibbonCommand::SaveFirmware:
      return saveFirmware;
    case RibbonCommand::TopMostWindow:
      return topMostAvailable;
    case RibbonCommand::Trace:
      return trace;
    default:
      return true;
  }
}

bool RibbonState::Checked(RibbonCommand command) const {
  switch (command) {
    case RibbonCommand::EnableBetaSoftware:
      return enableBetaSoftware;
    case RibbonCommand::TopMostWindow:
      return topMostWindow;
    case RibbonCommand::SecureCrashRecovery:
      return secureCrashRecovery;
    default:
      return false;
  }
}

std::string RibbonState::ToolTip(RibbonCommand command) const {
  if (command == RibbonCommand::TopMostWindow && !topMostAvailable) {
    return kNoTopMostReason;
  }
  return Label(command);
}

namespace {

// Each ribbon command's access key, one letter per command across the whole ribbon. Each letter
// is in every label its command can have ("Update to v..." included).
char AccessKey(RibbonCommand command) {
  switch (command) {
    case RibbonCommand::Refresh:
      return 'r';
    case RibbonCommand::CheckForUpdates:
      return 'p';
    case RibbonCommand::UpdateUpdater:
      return 'd';
    case RibbonCommand::Calibrate:
      return 'c';
    case RibbonCommand::Reset:
      return 's';
    case RibbonCommand::ChangeFirmware:
      return 'h';
    case RibbonCommand::UpdateFirmware:
      return 'f';
    case RibbonCommand::UploadCustomFirmware:
      return 'l';
    case RibbonCommand::CrashRecovery:
      return 'v';
    case RibbonCommand::SecureCrashRecovery:
      return 'e';
    case RibbonCommand::EnableBetaSoftware:
      return 'b';
    case RibbonCommand::TopMostWindow:
      return 'm';
    case RibbonCommand::About:
      return 'a';
    case RibbonCommand::Trace:
      return 't';
    case RibbonCommand::Feedback:
      return 'y';
    case RibbonCommand::Messages:
      return 'q';
    case RibbonCommand::CaptureWindow:
      return 'w';
    default:
      return 0;
  }
}

}  // namespace

std::string RibbonState::KeyboardLabel(RibbonCommand command) const {
  std::string label = Label(command);
  const char key = AccessKey(command);
  for (std::size_t at = 0; key != 0 && at < label.size(); ++at) {
    if (std::tolower(static_cast<unsigned char>(label[at])) == key) {
      return label.insert(at, 1, '&');
    }
  }
  return label;
}

std::string RibbonState::Label(RibbonCommand command) const {
  switch (command) {
    case RibbonCommand::Exit:
      return "Exit";
    case RibbonCommand::Refresh:
      return "Refresh";
    case RibbonCommand::Calibrate:
      return "Calibrate";
    case RibbonCommand::Reset:
      return "Reset";
    case RibbonCommand::ViewMetrics:
      return "View Metrics";
    case RibbonCommand::CheckForUpdates:
      return checkForUpdatesLabel;
    case RibbonCommand::UpdateUpdater:
      return updateUpdaterLabel;
    case RibbonCommand::About:
      return "About";
    case RibbonCommand::Trace:
      return "Trace";
    case RibbonCommand::EnableBetaSoftware:
      return "Enable Beta Software";
    case RibbonCommand::TopMostWindow:
      return "Top Most Window";
    case RibbonCommand::SecureCrashRecovery:
      return "Secure Crash Recovery";
    case RibbonCommand::UpdateFirmware:
      return "Update Firmware";
    case RibbonCommand::SaveFirmware:
      return "Save firmware";
    case RibbonCommand::ChangeFirmware:
      return "Change Firmware";
    case RibbonCommand::UploadCustomFirmware:
      return "Upload Custom Firmware";
    case RibbonCommand::CrashRecovery:
      return "Crash Recovery";
    case RibbonCommand::Feedback:
      return "Your Feedback";
    case RibbonCommand::Messages:
      return "From Quorvane";
    case RibbonCommand::CaptureWindow:
      return "Capture Window";
    case RibbonCommand::CaptureToClipboard:
      return "Capture to Clipboard";
    case RibbonCommand::CaptureToFile:
      return "Capture to File...";
  }
  return {};
}

std::optional<int> GalleryExecution::Report(int index) {
  previous_ = last_;
  last_ = index;
  if (index != -1 && previous_ == index) {
    previous_ = -1;
    last_ = -1;
    return index;
  }
  return std::nullopt;
}

}  // namespace Quorvane::Center
