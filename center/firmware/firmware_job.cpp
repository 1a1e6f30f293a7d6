#include "center/firmware/firmware_job.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

#include "center/firmware/port_detection.h"
#include "common/diagnostics/error_report.h"
#include "common/diagnostics/hvx_exception.h"
#include "common/platform/atomic_file.h"
#include "common/platform/path_text.h"
#include "common/platform/private_folder.h"
#include "common/platform/process.h"
#include "common/platform/unique_fd.h"
#include "common/platform/utf16.h"
#include "common/service_client/payload_documents.h"
#include "common/service_client/scramble.h"
#include "common/signing/update_signature.h"

namespace Quorvane::Firmware {
namespace {

using namespace std::chrono_literals;

enum class PortSearch { AfterReset, ManualReset };

struct FlashPlan {
  std::string script;   // the script's file name
  std::string logName;  // of the error log
  PortSearch search;
  bool scrambled;              // the form of the image file
  std::string updatedCaption;  // set once the firmware is known; empty: unchanged
};

void Finish(FirmwareView& view) {
  view.SetProgressRange(0, 10);
  view.SetProgressPosition(10);
  view.EnableOk();
  view.StopColourTimer();
}

void EndWith(FirmwareView& view, const std::string& status) {
  view.SetStatus(status);
  view.EnableOk();
  view.StopColourTimer();
}

bool WriteImageFile(const std::string& path, const std::string& image, bool scrambled) {
  return !Platform::WriteFileAtomically(path, scrambled ? Service::ScrambleBytes(image) : image);
}

// A new, empty output file in the work folder.
std::optional<std::string> NewOutputFile(const std::string& workFolder) {
  std::string pattern = workFolder + "output-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  Platform::UniqueFd fd(mkostemp(buffer.data(), O_CLOEXEC));
  if (!fd.Valid()) return std::nullopt;
  return std::string(buffer.data());
}

// The tool's output as it grows: each look reads only what was added since the last one, and
// keeps at most the buffer's size less two.
class ToolOutput {
 public:
  explicit ToolOutput(std::string path) : path_(std::move(path)) {}

  // Reads what is new and shows it.
  void Collect(FirmwareView& view) {
    Platform::UniqueFd fd(open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.Valid()) return;
    const std::size_t shown = text_.size();
    char buffer[65536];
    while (text_.size() < kOutputBufferBytes - 2) {
      const std::size_t wanted = std::min(sizeof buffer, kOutputBufferBytes - 2 - text_.size());
      const ssize_t count = pread(fd.Get(), buffer, wanted, static_cast<off_t>(text_.size()));
      if (count <= 0) break;
      text_.append(buffer, static_cast<std::size_t>(count));
    }
    if (text_.size() > shown) {
      view.AppendOutput(Platform::Utf8OrLatin1(text_.substr(shown)));
    }
  }

  const std::string& Text() const { return text_; }

 private:
  std::string path_;
  std::string text_;
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

void ReportFailedFlash(const FirmwareJob& job, const FirmwareServices& services,
                       const FlashPlan& plan, const std::string& output,
                       const std::string& commandLine) {
  Service::ErrorLogRecord record;
  record.logName = plan.logName;
  // The tool prints raw bytes it read from the port, and the output may be cut inside a
  // character: every byte that is no UTF-8 is taken as one character, as the output box shows it.
  record.textItems = {{"AVRDUDE OUTPUT", Platform::Utf8OrLatin1(output)},
                      {"COMMAND LINE", Platform::Utf8OrLatin1(commandLine)},
                      {"CURRENT DIRECTORY", Platform::Utf8OrLatin1(services.programFolder)},
                      {"CUpdateFirmwareDlg", ""},
                      {"Firmware Filename", job.entry ? job.entry->fileName : job.fileName}};
  Center::RegisterErrorLog(services.service, record);
  if (plan.search == PortSearch::ManualReset) {
    Diagnostics::WriteEventLogEntry(services.eventLog, Diagnostics::kCenterSource,
                                    Diagnostics::kEventError,
                                    Service::BuildErrorLogDocument(record));
  }
}

// What ends a flash that does not end by itself: its port gone for longer than the grace, or its
// time limit passed. Why, when the tool must be stopped.
class FlashWatch {
 public:
  FlashWatch(SerialPortMap& ports, std::string port, std::chrono::milliseconds limit)
      : ports_(ports),
        port_(std::move(port)),
        limit_(limit),
        start_(std::chrono::steady_clock::now()) {}

  std::optional<std::string> Stop() const {
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ > limit_) {
      return "it did not end within " + std::to_string(limit_.count() / 1000) + " s";
    }
    if (now - lastLook_ < 500ms) {
      return std::nullopt;
    }
    lastLook_ = now;
    const auto listed = TakePortSnapshot(ports_).known;
    const bool present = std::any_of(listed.begin(), listed.end(),
                                     [&](const auto& entry) { return entry.port == port_; });
    if (present) {
      goneSince_.reset();
    } else if (!goneSince_) {
      goneSince_ = now;
    } else if (now - *goneSince_ > kPortGoneGrace) {
      portGone_ = true;
      return "its port " + port_ + " went away";
    }
    return std::nullopt;
  }
  // The tool was stopped because its port went away (not for its time limit).
  bool PortGone() const { return portGone_; }

 private:
  SerialPortMap& ports_;
  std::string port_;
  std::chrono::milliseconds limit_;
  std::chrono::steady_clock::time_point start_;
  mutable std::chrono::steady_clock::time_point lastLook_{};
  mutable std::optional<std::chrono::steady_clock::time_point> goneSince_;
  mutable bool portGone_ = false;
};

// Asks the tool and everything it started to end, and makes them end when they do not.
void StopTool(Platform::Process& tool) {
  tool.SignalGroup(SIGTERM);
  if (!tool.WaitFor(2000ms)) {
    tool.SignalGroup(SIGKILL);
  }
}

// Finds the port, writes the image, runs the script and judges its output.
void Flash(FirmwareJob& job, const FirmwareServices& services, FirmwareView& view,
           const FlashPlan& plan) {
  if (!plan.updatedCaption.empty()) {
    view.SetCaption(plan.updatedCaption);
  }
  const DetectionServices detection{services.ports, services.clock, view};
  const auto port = plan.search == PortSearch::AfterReset
                        ? WaitForBootloaderPort(detection, TakePortSnapshot(services.ports),
                                                services.backend, job.controller.devicePath)
                        : WaitForManualResetPort(detection, TakePortSnapshot(services.ports));
  if (!port) {
    Finish(view);
    return;
  }
  const FirmwareWorkFolder work(services.tempFolder);
  const auto& workFolder = work.Path();
  const std::string imagePath = workFolder.value_or("") + "FW.bin";
  const std::string script = services.programFolder + plan.script;
  const std::string commandLine = Quoted(script) + " " + *port + " " + Quoted(imagePath);
  if (!workFolder || !WriteImageFile(imagePath, job.image, plan.scrambled)) {
    EndWith(view, "Unable to store firmware to file on drive!");
    return;
  }
  // A script that is missing or cannot be read never ran: nothing was flashed, and there is
  // nothing to report to the maker.
  const auto outputPath =
      access(script.c_str(), R_OK) == 0 ? NewOutputFile(*workFolder) : std::nullopt;
  std::error_code error;
  std::optional<Platform::Process> tool;
  if (outputPath) {
    // An argument vector: a port or path with blanks or quotes reaches the script unchanged.
    Platform::ProcessSpec spec;
    spec.program = "/bin/sh";
    spec.arguments = {script, *port, imagePath};
    spec.workingDirectory = services.programFolder;
    spec.outputFile = *outputPath;
    spec.newSession = true;  // the tool and what it starts can be stopped together
    tool = Platform::Process::Start(spec, error);
  }
  if (!tool) {
    // The plain image never outlives the job.
    WriteImageFile(imagePath, job.image, true);
    unlink(imagePath.c_str());
    if (outputPath) unlink(outputPath->c_str());
    EndWith(view, "Unable to create process!");
    return;
  }
  ToolOutput toolOutput(*outputPath);
  const FlashWatch watch{services.ports, *port,
                         services.flashTimeLimit.value_or(FlashTimeLimit(job.image.size()))};
  std::optional<std::string> stopped;
  std::optional<int> scriptExit;
  while (!(scriptExit = tool->WaitFor(100ms))) {
    toolOutput.Collect(view);
    view.StepProgress();
    if (!stopped && (stopped = watch.Stop())) {
      StopTool(*tool);
    }
  }
  toolOutput.Collect(view);
  std::string output = toolOutput.Text();
  // A bootloader may start the new firmware the moment it answered the exit command, before the
  // tool read that answer: the tool then waits on a port that is gone. The image was written and
  // verified; whether it runs, the controller's return with the new version tells.
  const bool leftAfterVerifying = stopped && watch.PortGone() && ImageVerified(output);
  if (leftAfterVerifying) {
    const std::string text =
        "\nThe bootloader left before the flashing tool ended; the image had been written and "
        "verified.\n";
    view.AppendOutput(text);
    stopped.reset();
  }
  if (stopped) {
    // Said after what the tool printed, where its output is shown and sent.
    const std::string text = "\nThe flashing tool was stopped: " + *stopped + ".\n";
    view.AppendOutput(text);
    output += text;
    Diagnostics::WriteEventLogEntry(
        services.eventLog, Diagnostics::kCenterSource, Diagnostics::kEventError,
        "A flash of " + (job.entry ? job.entry->fileName : job.fileName) + " on " + *port +
            " failed: the flashing tool was stopped because " + *stopped + ".");
  }
  unlink(outputPath->c_str());
  WriteImageFile(imagePath, job.image, true);
  unlink(imagePath.c_str());

  // A script that could not run at all (missing, unreadable) fails too, whatever its error text
  // happens to end with.
  if (leftAfterVerifying || (!stopped && FlashExitCode(output) == 0 && *scriptExit == 0)) {
    view.CloseWithOk();
    return;
  }
  ReportFailedFlash(job, services, plan, output, commandLine);
  view.SetStatus("Firmware Update Failed!");
  Finish(view);
}

// Downloads the job's firmware and verifies its signature. Nothing that fails either is flashed:
// the view ends with the status that says so, and a refused image is logged with the reason.
bool FetchSignedFirmware(FirmwareJob& job, const FirmwareServices& services, FirmwareView& view) {
  if (!GetFirmware(job, services)) {
    EndWith(view, "Could not find firmware on cloud computer!");
    return false;
  }
  if (auto failure = VerifyFirmwareSignature(job, services)) {
    job.image.clear();
    const std::string text = "The firmware '" + job.entry->fileName +
                             "' was not flashed: it is refused because " + *failure + ".";
    Diagnostics::WriteEventLogEntry(services.eventLog, Diagnostics::kCenterSource,
                                    Diagnostics::kEventError, text);
    view.AppendOutput(text + "\n");
    view.SetStatus("Firmware Update Failed!");
    Finish(view);
    return false;
  }
  return true;
}

bool HasScrambledBootloader(const FirmwareJob& job) {
  return job.controller.identified && Device::HasScrambledBootloader(job.controller.identityReport);
}

// Runs a worker's steps; an exception ends it the way a failure does, without a message.
template <typename Steps>
void Guarded(FirmwareView& view, Steps steps) {
  try {
    steps();
  } catch (...) {
    Finish(view);
  }
}

}  // namespace

bool GetFirmware(FirmwareJob& job, const FirmwareServices& services) {
  if (!job.entry) {
    return false;
  }
  try {
    auto image = Center::DownloadFirmwareImage(services.service, *job.entry);
    if (!image) {
      return false;
    }
    job.version = {job.entry->versionMajor, job.entry->versionMinor, job.entry->versionBuild,
                   job.entry->versionRevision};
    job.image = std::move(*image);
    return true;
  } catch (...) {
    Diagnostics::ShowErrorBox(
        services.notifier,
        Diagnostics::FormatLastErrorReport("GetFirmware() executed with thrown exception"));
    return false;
  }
}

std::optional<std::string> VerifyFirmwareSignature(const FirmwareJob& job,
                                                   const FirmwareServices& services) {
  if (!job.entry) {
    return "no firmware entry names it";
  }
  Service::FirmwareEntry signatureEntry = *job.entry;
  signatureEntry.fileName += Signing::kSignatureSuffix;
  std::optional<std::string> signature;
  try {
    signature = Center::DownloadFirmwareImage(services.service, signatureEntry);
  } catch (const Halvex::Exceptions::HvxException& error) {
    return "its signature could not be fetched (" + error.Message() + ")";
  } catch (const std::exception& error) {
    return std::string("its signature could not be fetched (") + error.what() + ")";
  }
  if (!signature || signature->size() > Signing::kMaxSignatureFileSize) {
    return std::string(signature ? "its signature is not a signature file"
                                 : "its signature is missing");
  }
  const Signing::SignedClaim expected{job.entry->fileName,
                                      {job.entry->versionMajor, job.entry->versionMinor,
                                       job.entry->versionBuild, job.entry->versionRevision}};
  return Signing::VerifyBytes(job.image, *signature, services.keyPath, expected);
}

std::string ChangeScriptFor(const Device::QuorvaneDevice& controller) {
  return Device::FirmwareName(controller.identityReport) == "sam3x8edue" ? kSam3x8eScript
                                                                         : kUsualScript;
}

std::chrono::milliseconds FlashTimeLimit(std::size_t imageBytes) {
  return std::chrono::milliseconds(60000 + 2 * static_cast<std::int64_t>(imageBytes));
}

bool ImageVerified(const std::string& output) {
  return output.find(" bytes of flash verified") != std::string::npos ||
         output.find("Verify successful") != std::string::npos;
}

std::uint64_t FlashExitCode(const std::string& output) {
  const auto colon = output.rfind(':');
  const std::string tail = colon == std::string::npos ? output : output.substr(colon + 1);
  std::uint64_t code = 0;
  for (const char character : tail) {
    if (character < '0' || character > '9') break;
    code = std::min<std::uint64_t>(code * 10 + static_cast<std::uint64_t>(character - '0'),
                                   UINT32_MAX);
  }
  return code;
}

void RunChangeFirmware(FirmwareJob& job, const FirmwareServices& services, FirmwareView& view) {
  Guarded(view, [&] {
    if (!FetchSignedFirmware(job, services, view)) {
      return;
    }
    const std::string script = ChangeScriptFor(job.controller);
    Flash(job, services, view,
          {script, script == kSam3x8eScript ? "Orlimar.Admin.exe" : "Kestrane.exe",
           PortSearch::AfterReset, HasScrambledBootloader(job),
           "Update Firmware to " + job.entry->name});
  });
}

void RunUpdateFirmware(FirmwareJob& job, const FirmwareServices& services, FirmwareView& view) {
  Guarded(view, [&] {
    // The pending firmware is known by its entry; its image is fetched and verified now.
    if (!FetchSignedFirmware(job, services, view)) {
      return;
    }
    Flash(job, services, view,
          {kUsualScript, "Kestrane.exe", PortSearch::AfterReset, HasScrambledBootloader(job), ""});
  });
}

void RunCustomFirmware(FirmwareJob& job, const FirmwareServices& services, FirmwareView& view) {
  Guarded(view, [&] {
    const std::string script = ChangeScriptFor(job.controller);
    Flash(job, services, view,
          {script, script == kSam3x8eScript ? "Orlimar.Admin.exe" : "Kestrane.exe",
           PortSearch::AfterReset, HasScrambledBootloader(job),
           "Update Firmware to " + job.fileName.substr(job.fileName.rfind('/') + 1)});
  });
}

void RunCrashRecovery(FirmwareJob& job, const FirmwareServices& services, FirmwareView& view,
                      bool secure) {
  Guarded(view, [&] {
    if (!FetchSignedFirmware(job, services, view)) {
      return;
    }
    // The dialog's "Secure Crash Recovery" box decides the image's form.
    Flash(job, services, view,
          {kUsualScript, "Kestrane.exe", PortSearch::ManualReset, secure, "Recovering..."});
  });
}

FirmwareWorkFolder::FirmwareWorkFolder(const std::string& tempFolder) {
  // A fresh folder with a name nobody can guess: in a shared temporary folder another user could
  // otherwise read the image, swap it between its writing and the flash, or take the name first.
  std::string pattern = tempFolder + "quorvane-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    return;
  }
  top_ = pattern;
  std::error_code error;
  if (Platform::EnsurePrivateFolder(top_ + "/Admin/", error)) {
    path_ = top_ + "/Admin/";
  }
}

FirmwareWorkFolder::~FirmwareWorkFolder() {
  if (!top_.empty()) {
    std::error_code error;
    std::filesystem::remove_all(top_, error);
  }
}

}  // namespace Quorvane::Firmware
