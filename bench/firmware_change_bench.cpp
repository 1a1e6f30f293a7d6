// A firmware change as in the demo: from OK in the change dialog to the controller listed again
// with its new version. The simulated single brake's bootloader, the real avrdude through the
// shipped up-bin.sh, the stand-in service signing the images it serves, and the center's own poll
// thread re-listing the controller. The baseline is the sum of the fixed waits on that path: the
// first pass of the port detection (300 ms), the tool's output being looked at every 100 ms, and
// the pause before a re-enumeration (300 ms). In the same run, every other change flashes the
// same downloaded image without fetching and checking its signature, which tells what the check
// costs.
//
//   bench_firmware_change [runs of each kind, default 5]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "center/app/application.h"
#include "center/device/simulated_backend.h"
#include "center/firmware/simulated_bootloader.h"
#include "tests/support/local_service.h"
#include "tests/support/signing_key.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Counts the dialog's calls; the flash's end is CloseWithOk.
class QuietView final : public Firmware::FirmwareView {
 public:
  void SetStatus(const std::string&) override {}
  void SetCaption(const std::string&) override {}
  void SetProgressRange(int, int) override {}
  void StepProgress() override {}
  void SetProgressPosition(int) override {}
  void AppendOutput(const std::string&) override {}
  void EnableOk() override {}
  void StopColourTimer() override {}
  void CloseWithOk() override { closedWithOk = true; }
  bool closedWithOk = false;
};

double Milliseconds(Clock::duration duration) {
  return std::chrono::duration<double, std::milli>(duration).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  Testing::TempFolder data;
  Testing::CopySampleServiceData(data.Path());
  Testing::SigningKey maker;
  Testing::LocalServiceProcess service(data.Path(), {}, maker.SecretKeyPath());
  Testing::TempFolder root;
  maker.TrustIn(root.Path());
  Platform::KnownFolders folders{root.File("data"), root.Path() + "/",
                                 std::string(QUORVANE_SCRIPT_FOLDER) + "/", root.Path()};
  Platform::SystemClock clock;
  Device::SimulatedBackend backend(Device::SimulatedBackend::ReadDescriptionFile(
                                       std::string(QUORVANE_SIMULATED_DIR) + "/single-brake.xml"),
                                   clock);
  Firmware::SimulatedSerialPortMap ports;
  Firmware::SimulatedBootloaderHost host(backend, ports);
  Diagnostics::RecordingEventLog log;
  Diagnostics::RecordingUserNotifier notifier;
  Center::CApplication center(
      {folders, {service.Endpoint()}, backend, log, notifier, clock, &ports});
  backend.SetChangeListener([&] { center.OnDeviceChange(Device::DeviceChange::Arrival); });
  center.StartUp("");
  Center::NoCenterView view;
  center.StartPollThread(view);
  std::this_thread::sleep_for(500ms);

  const double fixedWaits = 300 + 100 + 300;
  std::vector<double> flashes;
  std::vector<double> totals;
  std::vector<double> unchecked;
  for (int run = 0; run < 2 * runs; ++run) {
    // Alternate between two firmwares, so every run changes the version; and between the change
    // as it is and the same flash without the signature.
    const bool beta = run % 2 == 1;
    const bool checked = run % 4 < 2;
    Service::FirmwareEntry entry;
    entry.id = beta ? "qv-single-2.2-beta" : "qv-single-2.1";
    entry.name = "QV-Single";
    entry.fileName = entry.id + ".bin";
    entry.versionMajor = 2;
    const std::uint8_t minor = beta ? 2 : 1;
    entry.versionMinor = minor;
    Firmware::FirmwareJob job;
    job.controller = *[&] {
      std::lock_guard lock(center.Devices().listLock);
      return std::optional(center.Devices().rows.at(0));
    }();
    job.entry = entry;
    QuietView dialog;

    const auto services = center.FirmwareServicesFor();
    const auto ok = Clock::now();
    if (checked) {
      Firmware::RunChangeFirmware(job, services, dialog);
    } else if (Firmware::GetFirmware(job, services)) {
      Firmware::RunCustomFirmware(job, services, dialog);
    }
    const auto flashed = Clock::now();
    if (!dialog.closedWithOk) {
      std::fprintf(stderr, "run %d: the flash failed\n", run);
      return 2;
    }
    bool listed = false;
    while (!listed && Clock::now() - flashed < 30s) {
      std::this_thread::sleep_for(5ms);
      std::lock_guard lock(center.Devices().listLock);
      listed = !center.Devices().rows.empty() &&
               Device::FirmwareMinor(center.Devices().rows[0].identityReport) == minor;
    }
    if (!listed) {
      std::fprintf(stderr, "run %d: the controller did not come back\n", run);
      return 2;
    }
    if (checked) {
      flashes.push_back(Milliseconds(flashed - ok));
      totals.push_back(Milliseconds(Clock::now() - ok));
    } else {
      unchecked.push_back(Milliseconds(Clock::now() - ok));
    }
  }
  backend.SetChangeListener({});
  center.Shutdown();

  std::sort(flashes.begin(), flashes.end());
  std::sort(totals.begin(), totals.end());
  std::sort(unchecked.begin(), unchecked.end());
  const double total = totals[totals.size() / 2];
  const double withoutCheck = unchecked[unchecked.size() / 2];
  std::printf("fixed waits on the path (baseline): %.0f ms\n", fixedWaits);
  std::printf("OK to the dialog closing (download, reset, port, avrdude): %.0f ms (median of %d)\n",
              flashes[flashes.size() / 2], runs);
  std::printf(
      "OK to the controller listed with its new version: %.0f ms (median of %d; %.1fx the fixed "
      "waits)\n",
      total, runs, total / fixedWaits);
  std::printf(
      "the same without fetching and checking the signature: %.0f ms (median of %d); with the "
      "check %.3fx\n",
      withoutCheck, runs, total / withoutCheck);
  return 0;
}
