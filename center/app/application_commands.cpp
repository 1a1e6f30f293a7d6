// The center's commands and the row selection the ribbon follows.
#include "center/app/application.h"
#include "center/calibration/calibration_command.h"
#include "center/device/live_data.h"
#include "common/diagnostics/error_report.h"
#include "common/update_install/update_installation.h"

namespace Quorvane::Center {

RibbonSelection CApplication::SelectRow(std::size_t index) {
  std::lock_guard lock(devices_.listLock);
  if (index >= devices_.rows.size()) {
    selectedRow_.reset();
    noRowSelected_ = true;
    return RibbonSelection::None;
  }
  selectedRow_ = index;
  noRowSelected_ = false;
  return devices_.rows[index].IsButtonRow() ? RibbonSelection::ButtonRow : RibbonSelection::Row;
}

void CApplication::ClearSelection() {
  std::lock_guard lock(devices_.listLock);
  selectedRow_.reset();
  noRowSelected_ = true;
}

std::optional<Device::QuorvaneDevice> CApplication::SelectedRow() {
  std::lock_guard lock(devices_.listLock);
  if (noRowSelected_ || !selectedRow_ || *selectedRow_ >= devices_.rows.size()) {
    return std::nullopt;
  }
  return devices_.rows[*selectedRow_];
}

RibbonState CApplication::CurrentRibbonState(RibbonSelection selection) {
  RibbonInputs inputs;
  inputs.selection = selection;
  if (selection != RibbonSelection::None) {
    std::lock_guard lock(devices_.listLock);
    if (selectedRow_ && *selectedRow_ < devices_.rows.size()) {
      const auto& row = devices_.rows[*selectedRow_];
      inputs.selectedIsDeviceLine = Device::IsParentRow(devices_.rows, *selectedRow_);
      inputs.selectedFirmwareUpdateAvailable = row.firmwareUpdateAvailable;
      inputs.selectedCanCalibrate =
          !row.IsButtonRow() &&
          Device::CalibrationCodesFor(row.kind, row.channelIndex, row.ChannelSlotType())
              .has_value();
      inputs.selectedFirmwares = row.AvailableFirmwares();
    } else {
      inputs.selection = RibbonSelection::None;
    }
  }
  inputs.allFirmwares = allFirmwares_.AvailableFirmwares();
  inputs.centerUpdate = updates_.CenterUpdate();
  inputs.updaterUpdate = updates_.UpdaterUpdate();
  const SettingsValues settings = settings_.Values();
  inputs.enableBetaSoftware = settings.enableBetaSoftware;
  inputs.topMostWindow = settings.topMostWindow;
  inputs.secureCrashRecovery = settings.secureCrashRecovery;
  inputs.windowsCanStayOnTop = windowsCanStayOnTop_;
  return ComputeRibbonState(inputs);
}

bool CApplication::ToggleTopMostWindow() {
  const bool on = !settings_.Values().topMostWindow;
  settings_.SetTopMostWindow(on);
  settings_.Save();
  return on;
}

bool CApplication::ToggleSecureCrashRecovery() {
  const bool on = !settings_.Values().secureCrashRecovery;
  settings_.SetSecureCrashRecovery(on);
  settings_.Save();
  return on;
}

void CApplication::SetEnableBetaSoftware(bool on) {
  settings_.SetEnableBetaSoftware(on);
  settings_.Save();
  // Downloads fetched for the other setting are not what the user now asks for.
  updates_.ForgetOffers();
  {
    std::lock_guard lock(devices_.listLock);
    for (auto& row : devices_.rows) {
      if (!row.IsButtonRow()) {
        Device::RestartFirmwareLookup(
            row, [this](std::shared_ptr<Device::FirmwareLookup> lookup, std::string identity) {
              StartLookup(std::move(lookup), std::move(identity));
            });
      }
      row.firmwareUpdateAvailable = false;
    }
  }
  // The Crash Recovery list follows the setting too.
  RestartAllFirmwaresLookup();
}

bool CApplication::ResetSelectedRow() {
  const auto row = SelectedRow();
  return row && Device::SendResetToBootloader(environment_.backend, *row);
}

std::optional<std::string> CApplication::CalibrationOpenError() {
  const auto row = SelectedRow();
  if (!row) {
    return std::nullopt;
  }
  std::error_code error;
  if (environment_.backend.Open(row->devicePath, error)) {
    return std::nullopt;
  }
  return Diagnostics::FormatErrorReport(
      "QuorvaneDevice::Open executed with return value of INVALID_HANDLE_VALUE", error.value());
}

Calibration::ChannelReadings CApplication::ReadChannel(const Device::QuorvaneDevice& row) {
  std::lock_guard listLock(devices_.listLock);
  for (const auto& present : devices_.rows) {
    if (present.devicePath == row.devicePath && present.channelIndex == row.channelIndex &&
        !present.IsButtonRow()) {
      std::lock_guard ioLock(devices_.ioLock);
      return {present.PresentRawReading(), present.PresentCalibrationMinimum(),
              present.PresentCalibrationMaximum()};
    }
  }
  return {};
}

bool CApplication::SendCalibration(const Device::QuorvaneDevice& row,
                                   Calibration::CalibrationKind kind, std::uint32_t parameter) {
  return Calibration::SendCalibrationCommand(environment_.backend, row, kind, parameter);
}

Firmware::FirmwareServices CApplication::FirmwareServicesFor() {
  static Firmware::SimulatedSerialPortMap noPorts;
  return {environment_.service,
          environment_.backend,
          environment_.ports != nullptr ? *environment_.ports : noPorts,
          environment_.clock,
          environment_.eventLog,
          environment_.notifier,
          environment_.folders.programFolder,
          environment_.folders.temp,
          Update::UpdateKeyPath(environment_.folders.installRoot)};
}

int CApplication::AddDeviceChangeListener(std::function<void()> listener) {
  std::lock_guard lock(listenersLock_);
  deviceChangeListeners_.emplace_back(++nextListenerId_, std::move(listener));
  return nextListenerId_;
}

void CApplication::RemoveDeviceChangeListener(int id) {
  std::lock_guard lock(listenersLock_);
  std::erase_if(deviceChangeListeners_, [id](const auto& entry) { return entry.first == id; });
}

}  // namespace Quorvane::Center
