// Flashing for real: the stand-in service, a simulated controller whose bootloader speaks
// AVR109 on a pseudo-terminal, the shipped up-bin.sh and the real avrdude. (The refused flash and
// the crash recovery run the same way through their dialogs in the window tests.)
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "center/firmware/firmware_job.h"
#include "center/firmware/simulated_bootloader.h"
#include "tests/center/firmware/recording_firmware_view.h"
#include "tests/support/local_service.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Firmware;
using namespace std::chrono_literals;

std::vector<Device::SimulatedController> SingleBrake() {
  return Device::SimulatedBackend::ReadDescriptionFile(std::string(QUORVANE_SIMULATED_DIR) + "/single-brake.xml");
}

class RealFlash : public testing::Test {
 protected:
  void SetUp() override {
    if (!host_.CanMakePorts()) {
      GTEST_SKIP() << "the simulated bootloader cannot make its port links in the runtime folder";
    }
    Testing::CopySampleServiceData(data_.Path());
    job_.controller.devicePath = "sim/single-brake";
    job_.controller.identified = true;
    job_.controller.identityReport = backend_.Describe("sim/single-brake").identity;
  }

  Service::FirmwareEntry Entry(const char* id, std::uint32_t minor) {
    Service::FirmwareEntry entry;
    entry.id = id;
    entry.name = "QV-Single";
    entry.versionMajor = 2;
    entry.versionMinor = minor;
    return entry;
  }

  FirmwareServices Services() {
    return {center_, backend_, ports_, clock_, log_, notifier_, QUORVANE_SCRIPT_FOLDER "/", temp_.Path() + "/"};
  }

  // Waits until the controller is back on the HID list.
  Device::SimulatedController AwaitController() {
    for (int wait = 0; wait < 200 && backend_.Enumerate().devices.empty(); ++wait) std::this_thread::sleep_for(50ms);
    return backend_.Describe("sim/single-brake");
  }

  Testing::TempFolder data_;
  Testing::TempFolder temp_;
  Testing::LocalServiceProcess service_{data_.Path()};
  Center::CenterService center_{service_.Endpoint()};
  Platform::SystemClock clock_;
  Device::SimulatedBackend backend_{SingleBrake(), clock_};
  SimulatedSerialPortMap ports_;
  SimulatedBootloaderHost host_{backend_, ports_};
  Diagnostics::RecordingEventLog log_;
  Diagnostics::RecordingUserNotifier notifier_;
  Testing::RecordingFirmwareView view_;
  FirmwareJob job_;
};

TEST_F(RealFlash, AChangeDownloadsResetsFindsThePortFlashesAndTheControllerComesBackNewer) {
  job_.entry = Entry("qv-single-2.2-beta", 2);
  RunChangeFirmware(job_, Services(), view_);
  EXPECT_EQ(view_.Events().back(), "closed with ok") << view_.Output() << testing::PrintToString(view_.Events());
  EXPECT_NE(view_.Output().find("bytes of flash verified"), std::string::npos) << view_.Output();
  const auto controller = AwaitController();
  EXPECT_TRUE(controller.present);
  EXPECT_EQ(Device::FirmwareMajor(controller.identity), 2);
  EXPECT_EQ(Device::FirmwareMinor(controller.identity), 2);
}

TEST(SimulatedBootloader, ABootloaderThatNeverAppearsEndsTheChangeWithoutAPort) {
  Platform::ManualClock clock;
  Device::SimulatedBackend backend(SingleBrake(), clock);
  SimulatedSerialPortMap ports;
  SimulatedBootloaderHost host(backend, ports, {.neverAppear = true});
  Testing::TempFolder data;
  Testing::CopySampleServiceData(data.Path());
  Testing::LocalServiceProcess service(data.Path());
  const Center::CenterService center{service.Endpoint()};
  Diagnostics::RecordingEventLog log;
  Diagnostics::RecordingUserNotifier notifier;
  Testing::TempFolder temp;
  Testing::RecordingFirmwareView view;
  FirmwareJob job;
  job.controller.devicePath = "sim/single-brake";
  job.entry = Service::FirmwareEntry{};
  job.entry->id = "qv-single-2.1";
  RunChangeFirmware(job, {center, backend, ports, clock, log, notifier, QUORVANE_SCRIPT_FOLDER "/", temp.Path() + "/"},
                    view);
  EXPECT_EQ(view.Statuses().back(), "No Controller Reset or COM port detected!");
  EXPECT_TRUE(backend.Enumerate().devices.empty());  // it left the HID list all the same
  EXPECT_FALSE(std::filesystem::exists(data.File("errorlogs/1.xml")));  // nothing was flashed
}

TEST(FirmwareInfo, FoundAnywhereInTheImageAndMissingWhenCut) {
  std::string image(300, '\xFF');
  image += std::string("QVFWINFO") + "QV-Quad" + std::string(35, '\0') + "\x03\x05";
  const auto info = FindFirmwareInfo(image);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->name, "QV-Quad");
  EXPECT_EQ(info->major, 3);
  EXPECT_EQ(info->minor, 5);
  EXPECT_FALSE(FindFirmwareInfo(image.substr(0, image.size() - 1)));
}

}  // namespace
