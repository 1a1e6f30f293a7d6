// The main window's commands that open the calibration, firmware, messages and feedback dialogs.
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include "center/app/main_window.h"
#include "center/calibration/calibration_dialog.h"
#include "center/firmware/custom_firmware.h"
#include "center/firmware/firmware_dialog.h"
#include "center/firmware/recovery_dialog.h"
#include "center/messages/feedback_dialogs.h"
#include "center/messages/messages_dialog.h"

namespace Quorvane::Center {
namespace {

// The firmware of a list by its gallery index; none for an index the list does not have.
std::optional<Service::FirmwareEntry> EntryAt(const std::vector<Service::FirmwareEntry>& entries,
                                              int item) {
  if (item < 0 || static_cast<std::size_t>(item) >= entries.size()) {
    return std::nullopt;
  }
  return entries[static_cast<std::size_t>(item)];
}

}  // namespace

void MainWindow::OpenCalibration() {
  const auto row = application_.SelectedRow();
  if (!row) {
    return;
  }
  const CenterEnvironment& environment = application_.Environment();
  if (const auto error = application_.CalibrationOpenError()) {
    Diagnostics::ShowErrorBox(environment.notifier, *error);
    Diagnostics::WriteEventLogEntry(environment.eventLog, Diagnostics::kCenterSource,
                                    Diagnostics::kEventError, *error);
    return;
  }
  Calibration::CalibrationDialog dialog(
      {environment.clock, [this, row = *row] { return application_.ReadChannel(row); },
       [this, row = *row](Calibration::CalibrationKind kind, std::uint32_t parameter) {
         return application_.SendCalibration(row, kind, parameter);
       },
       [this](std::function<void()> listener) {
         return application_.AddDeviceChangeListener(std::move(listener));
       },
       [this](int id) { application_.RemoveDeviceChangeListener(id); }},
      this);
  dialog.exec();
}

void MainWindow::OpenFirmwareChange(int item) {
  const auto row = application_.SelectedRow();
  const auto entry = row ? EntryAt(row->AvailableFirmwares(), item) : std::nullopt;
  if (!entry) {
    return;
  }
  Firmware::FirmwareJob job;
  job.controller = *row;
  job.entry = entry;
  const Firmware::FirmwareServices services = application_.FirmwareServicesFor();
  Firmware::FirmwareDialog dialog(Firmware::FirmwareDialog::Kind::Change, "", this);
  Firmware::RunFirmwareDialog(dialog, [&](Firmware::FirmwareView& view) {
    Firmware::RunChangeFirmware(job, services, view);
  });
}

void MainWindow::OpenFirmwareUpdate() {
  const auto row = application_.SelectedRow();
  if (!row || !row->pendingFirmware.entry) {
    return;
  }
  Firmware::FirmwareJob job;
  job.controller = *row;
  job.version = row->pendingFirmware.version;
  job.entry = row->pendingFirmware.entry;
  const Firmware::FirmwareServices services = application_.FirmwareServicesFor();
  Firmware::FirmwareDialog dialog(
      Firmware::FirmwareDialog::Kind::Update,
      std::to_string(job.version[0]) + "." + std::to_string(job.version[1]), this);
  Firmware::RunFirmwareDialog(dialog, [&](Firmware::FirmwareView& view) {
    Firmware::RunUpdateFirmware(job, services, view);
  });
}

void MainWindow::OpenCrashRecovery(int item) {
  const auto entry = EntryAt(application_.AllFirmwaresRow().AvailableFirmwares(), item);
  if (!entry) {
    return;
  }
  // A crashed controller is on no list: the job knows only the firmware.
  Firmware::FirmwareJob job;
  job.entry = entry;
  const Firmware::FirmwareServices services = application_.FirmwareServicesFor();
  Firmware::RecoveryDialog dialog(
      [&](Firmware::FirmwareView& view, bool secure) {
        Firmware::RunCrashRecovery(job, services, view, secure);
      },
      this);
  dialog.exec();
}

void MainWindow::OpenCustomFirmware() {
  const auto row = application_.SelectedRow();
  if (!row) {
    return;
  }
  QFileDialog chooser(this, QStringLiteral("Upload Custom Firmware"), QDir::homePath(),
                      QStringLiteral("Firmware images (*.bin);;All files (*)"));
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setOption(QFileDialog::DontUseNativeDialog);
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) {
    return;
  }
  const std::string path = chooser.selectedFiles().front().toStdString();
  std::string reason;
  auto image = Firmware::ReadCustomImage(path, reason);
  if (!image) {
    Diagnostics::ShowErrorBox(application_.Environment().notifier,
                              "The firmware cannot be flashed: " + reason + ".");
    return;
  }
  // No maker's signature covers the user's own file: flashed only when the user says so.
  QMessageBox question(QMessageBox::Warning, QStringLiteral("Upload Custom Firmware"),
                       QString::fromStdString(Firmware::CustomFirmwareWarning(
                           path, row->product + " " + row->serialNumber)),
                       QMessageBox::Yes | QMessageBox::No, this);
  question.setDefaultButton(QMessageBox::No);
  if (question.exec() != QMessageBox::Yes) {
    return;
  }
  Firmware::FirmwareJob job;
  job.controller = *row;
  job.image = std::move(*image);
  job.fileName = path;
  const Firmware::FirmwareServices services = application_.FirmwareServicesFor();
  Firmware::FirmwareDialog dialog(Firmware::FirmwareDialog::Kind::Change, "", this);
  Firmware::RunFirmwareDialog(dialog, [&](Firmware::FirmwareView& view) {
    Firmware::RunCustomFirmware(job, services, view);
  });
}

void MainWindow::OpenMessages() {
  MessagesDialog dialog(application_.Messages(), this);
  dialog.exec();
}

void MainWindow::OpenFeedback() {
  FeedbackListDialog dialog(application_.Feedback(), application_.Environment().service,
                            application_.Environment().eventLog, this);
  dialog.exec();
}

}  // namespace Quorvane::Center
