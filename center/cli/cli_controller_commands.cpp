// `calibrate` and `firmware`: the commands that change a controller, with the calibration's and
// the firmware flow's own steps, waits and texts.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

#include "center/calibration/calibration_command.h"
#include "center/cli/cli_commands.h"
#include "center/cli/cli_format.h"
#include "center/cli/terminal.h"
#include "center/device/controller_reports.h"
#include "center/device/live_data.h"
#include "center/firmware/firmware_job.h"

namespace Quorvane::Cli {
namespace {

using namespace std::chrono_literals;
using Calibration::CalibrationKind;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The row of a controller's channel, by its name (any letter case) or its channel index.
std::optional<Device::QuorvaneDevice> ChannelRow(CliSession& session, std::size_t controllerLine,
                                                 const std::string& channel) {
  const auto rows = session.Rows();
  for (std::size_t index = controllerLine + 1;
       index < rows.size() && rows[index].devicePath == rows[controllerLine].devicePath; ++index) {
    const auto& row = rows[index];
    if (!row.isButton &&
        (Lower(row.channelName) == Lower(channel) || std::to_string(row.channelIndex) == channel)) {
      return row;
    }
  }
  return std::nullopt;
}

// A line that rewrites itself on a terminal, and is printed whole elsewhere when it changed.
class ProgressLine {
 public:
  explicit ProgressLine(const CommandIo& io) : io_(io), terminal_(IsTerminal(io.outFd)) {}
  ~ProgressLine() { Finish(); }
  void Show(const std::string& text) {
    if (text == shown_) return;
    shown_ = text;
    io_.out << (terminal_ ? "\r\x1b[K" + text : text + "\n") << std::flush;
  }
  void Finish() {
    if (terminal_ && !shown_.empty()) io_.out << "\n" << std::flush;
    shown_.clear();
  }

 private:
  const CommandIo& io_;
  bool terminal_;
  std::string shown_;
};

std::string Bar(int position, int maximum) {
  constexpr int kWidth = 30;
  const int filled = maximum > 0 ? std::clamp(position * kWidth / maximum, 0, kWidth) : 0;
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kWidth - filled), '.') + "]";
}

// The firmware flow's steps as terminal lines: status changes, the progress bar, and with
// `verbose` the flashing tool's output as it grows.
class TerminalFirmwareView final : public Firmware::FirmwareView {
 public:
  TerminalFirmwareView(const CommandIo& io, bool verbose)
      : io_(io), verbose_(verbose), progress_(io) {}
  void SetStatus(const std::string& text) override {
    if (text == status_) return;
    status_ = text;
    progress_.Finish();
    io_.out << text << "\n" << std::flush;
  }
  void SetCaption(const std::string& text) override { io_.out << text << "\n" << std::flush; }
  void SetProgressRange(int minimum, int maximum) override {
    minimum_ = minimum;
    maximum_ = maximum;
    position_ = minimum;
  }
  void StepProgress() override { SetProgressPosition(position_ + 1); }
  void SetProgressPosition(int position) override {
    position_ = std::min(position, maximum_);
    progress_.Show(Bar(position_ - minimum_, maximum_ - minimum_));
  }
  void AppendOutput(const std::string& text) override {
    output_ += text;
    if (verbose_) {
      progress_.Finish();
      io_.out << text << std::flush;
    }
  }
  void EnableOk() override { progress_.Finish(); }
  void StopColourTimer() override {}
  void CloseWithOk() override {
    progress_.Finish();
    succeeded_ = true;
  }

  bool Succeeded() const { return succeeded_; }
  const std::string& Status() const { return status_; }
  const std::string& Output() const { return output_; }

 private:
  const CommandIo& io_;
  bool verbose_;
  ProgressLine progress_;
  std::string status_;
  std::string output_;
  int minimum_ = 0;
  int maximum_ = 0;
  int position_ = 0;
  bool succeeded_ = false;
};

// "2.1", "v2.1" and "2.1.0.0" name the entry of version 2.1.0.0.
bool VersionMatches(const Service::FirmwareEntry& entry, std::string version) {
  if (!version.empty() && (version.front() == 'v' || version.front() == 'V')) version.erase(0, 1);
  const std::string full = VersionText(entry);
  return version == full ||
         version == std::to_string(entry.versionMajor) + "." + std::to_string(entry.versionMinor);
}

std::string Versions(const std::vector<Service::FirmwareEntry>& entries) {
  std::string list;
  for (const auto& entry : entries)
    list += (list.empty() ? "" : ", ") + entry.name + " " + VersionText(entry);
  return list.empty() ? "none" : list;
}

// The device paths of the controllers other than `flashed`, before it is flashed.
std::vector<std::string> OtherControllerPaths(CliSession& session,
                                              const Device::QuorvaneDevice& flashed) {
  std::vector<std::string> paths;
  const auto rows = session.Rows();
  for (const std::size_t line : session.ControllerLines()) {
    if (rows[line].devicePath != flashed.devicePath) paths.push_back(rows[line].devicePath);
  }
  return paths;
}

// After a good flash the controller comes back with its new firmware: said when it does. It is
// followed by its path (or, where the system gave it a new one, by its serial number on a path
// none of the other controllers had), never taken for another unit of the same serial number.
void ReportReturn(CliSession& session, const CommandIo& io, const Device::QuorvaneDevice& flashed,
                  const std::vector<std::string>& otherPaths) {
  const std::string& serial = flashed.serialNumber;
  const auto isFlashed = [&](const Device::QuorvaneDevice& row) {
    return row.devicePath == flashed.devicePath ||
           (row.serialNumber == serial &&
            std::find(otherPaths.begin(), otherPaths.end(), row.devicePath) == otherPaths.end());
  };
  for (int wait = 0; wait < 100; ++wait) {
    session.Enumerate();
    const auto rows = session.Rows();
    const auto lines = session.ControllerLines();
    const auto line = std::find_if(lines.begin(), lines.end(),
                                   [&](std::size_t at) { return isFlashed(rows[at]); });
    if (line != lines.end()) {
      const auto& row = rows[*line];
      io.out << serial << " is back with firmware " << Device::FirmwareName(row.identityReport)
             << " v" << int(Device::FirmwareMajor(row.identityReport)) << "."
             << int(Device::FirmwareMinor(row.identityReport)) << "\n";
      return;
    }
    std::this_thread::sleep_for(100ms);
  }
  io.err << serial << " did not come back as a controller within ten seconds.\n";
}

int Flash(CliSession& session, const CommandIo& io, Firmware::FirmwareJob& job,
          const FirmwareRequest& request) {
  TerminalFirmwareView view(io, request.verbose);
  if (request.action != FirmwareAction::Recover) view.SetStatus(Firmware::kResetStepText);
  const auto services = session.FirmwareServicesFor();
  const auto otherPaths = OtherControllerPaths(session, job.controller);
  switch (request.action) {
    case FirmwareAction::Update:
      Firmware::RunUpdateFirmware(job, services, view);
      break;
    case FirmwareAction::Change:
      Firmware::RunChangeFirmware(job, services, view);
      break;
    case FirmwareAction::Recover:
      Firmware::RunCrashRecovery(job, services, view,
                                 request.secure.value_or(session.SecureCrashRecovery()));
      break;
  }
  if (view.Succeeded()) {
    if (request.action != FirmwareAction::Recover)
      ReportReturn(session, io, job.controller, otherPaths);
    return kSuccess;
  }
  if (!request.verbose && !view.Output().empty()) {
    io.err << view.Output();
  }
  return view.Status() == "Could not find firmware on cloud computer!" ? kNoService : kRefused;
}

}  // namespace

int CalibrateCommand(CliSession& session, const CommandIo& io, const std::string& serial,
                     const std::string& channel, const std::string& what, bool confirmed) {
  if (RefusedWhileCenterRuns(session, io.err)) return kCenterRunning;
  const auto found = FindController(session, io.err, serial);
  if (!found.line) return found.exitCode;
  if (NotAnswering(session, io.err, *found.line)) return kRefused;
  session.ReadLive([](std::size_t, std::uint32_t) {});
  const auto row = ChannelRow(session, *found.line, channel);
  if (!row || !Device::CalibrationCodesFor(row->kind, row->channelIndex, row->ChannelSlotType())) {
    io.err << "The controller " << serial << " has no channel '" << channel
           << "' that can be calibrated.\n";
    return kUsage;
  }
  CalibrationKind kind = CalibrationKind::Maximum;
  std::uint32_t parameter = 0;
  if (what == "min") {
    kind = CalibrationKind::AutomaticMinimum;
  } else if (what.rfind("min=", 0) == 0) {
    const std::string value = what.substr(4);
    if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) {
      io.err << "The custom minimum '" << value << "' is not a number of raw sensor units.\n";
      return kUsage;
    }
    const auto check =
        Calibration::CheckCustomMinimum(value,
                                        {row->PresentRawReading(), row->PresentCalibrationMinimum(),
                                         row->PresentCalibrationMaximum()},
                                        Calibration::UserLocale());
    if (check.verdict == Calibration::CustomMinimumCheck::Verdict::Refuse ||
        (check.verdict == Calibration::CustomMinimumCheck::Verdict::Confirm && !confirmed)) {
      io.err << check.message
             << (check.verdict == Calibration::CustomMinimumCheck::Verdict::Confirm
                     ? "\n(add --yes to send it)"
                     : "")
             << "\n";
      return kUsage;
    }
    kind = CalibrationKind::CustomMinimum;
    parameter = check.value;
  } else if (what != "max") {
    io.err << "Calibrate 'min', 'max' or 'min=VALUE', not '" << what << "'.\n";
    return kUsage;
  }
  io.out << "Calibrating the " << row->channelName << " of " << serial << ": "
         << (kind == CalibrationKind::Maximum
                 ? "press the pedal fully and hold it until the wait is over."
                 : "keep your foot off the pedal until the wait is over.")
         << "\n";
  Calibration::CalibrationSession calibration(
      session.Clock(), [&](CalibrationKind sent, std::uint32_t value) {
        return Calibration::SendCalibrationCommand(session.Backend(), *row, sent, value);
      });
  if (!calibration.Start(kind, parameter)) {
    io.err << "The controller " << serial << " did not take the calibration command.\n";
    return kRefused;
  }
  {
    ProgressLine progress(io);
    while (!calibration.Advance()) {
      progress.Show(calibration.Caption());
      session.Clock().SleepFor(100ms);
    }
  }
  io.out << "Calibrated.\n";
  return kSuccess;
}

int FirmwareCommand(CliSession& session, const CommandIo& io, const FirmwareRequest& request) {
  if (RefusedWhileCenterRuns(session, io.err)) return kCenterRunning;
  Firmware::FirmwareJob job;
  if (request.action == FirmwareAction::Recover) {
    const auto all = session.AllFirmwares();
    if (!all) {
      io.err << "The service did not answer: the firmware list is unknown.\n";
      return kNoService;
    }
    for (const auto& entry : *all) {
      if (Lower(entry.name) == Lower(request.target) && VersionMatches(entry, request.version))
        job.entry = entry;
    }
    if (!job.entry) {
      io.err << "No firmware '" << request.target << "' of version " << request.version
             << " is offered (offered: " << Versions(*all) << ").\n";
      return kUsage;
    }
    io.out << "Press the reset button of the crashed controller when asked.\n";
    return Flash(session, io, job, request);
  }
  const auto found = FindController(session, io.err, request.target);
  if (!found.line) return found.exitCode;
  if (NotAnswering(session, io.err, *found.line)) return kRefused;
  if (!session.LookUpFirmwares()) {
    io.err << "The service did not answer: the controller's firmware list is unknown.\n";
    return kNoService;
  }
  job.controller = session.Rows()[*found.line];
  if (request.action == FirmwareAction::Update) {
    if (!job.controller.pendingFirmware.entry) {
      io.out << request.target << " runs the newest firmware offered for it.\n";
      return kSuccess;
    }
    job.version = job.controller.pendingFirmware.version;
    job.entry = job.controller.pendingFirmware.entry;
    io.out << "Update Firmware to v" << job.version[0] << "." << job.version[1] << "\n";
  } else {
    const auto available = job.controller.AvailableFirmwares();
    for (const auto& entry : available) {
      if (VersionMatches(entry, request.version)) job.entry = entry;
    }
    if (!job.entry) {
      io.err << "No firmware of version " << request.version << " is offered for " << request.target
             << " (offered: " << Versions(available) << ").\n";
      return kUsage;
    }
  }
  return Flash(session, io, job, request);
}

}  // namespace Quorvane::Cli
