// The simulated bootloader's failure case and the firmware image's own version record. (A real
// flash, through the stand-in service, the simulated bootloader's AVR109 on a pseudo-terminal,
// the shipped up-bin.sh and the real avrdude, runs in the window tests through the firmware
// dialogs and in the command-line companion's test.)
#include <gtest/gtest.h>

#include <filesystem>

#include "center/firmware/firmware_job.h"
#include "center/firmware/simulated_bootloader.h"
#include "tests/center/firmware/recording_firmware_view.h"
#include "tests/support/local_service.h"
#include "tests/support/shipped_controllers.h"
#include "tests/support/signing_key.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Firmware;

TEST(SimulatedBootloader, ABootloaderThatNeverAppearsEndsTheChangeWithoutAPort) {
  Platform::ManualClock clock;
  Device::SimulatedBackend backend(Testing::ShippedControllers({"single-brake.xml"}), clock);
  SimulatedSerialPortMap ports;
  SimulatedBootloaderHost host(backend, ports, {.neverAppear = true});
  Testing::TempFolder data;
  Testing::CopySampleServiceData(data.Path());
  Testing::SigningKey maker;
  Testing::LocalServiceProcess service(data.Path(), {}, maker.SecretKeyPath());
  const Center::CenterService center{service.Endpoint()};
  Diagnostics::RecordingEventLog log;
  Diagnostics::RecordingUserNotifier notifier;
  Testing::TempFolder temp;
  Testing::RecordingFirmwareView view;
  FirmwareJob job;
  job.controller.devicePath = "sim/single-brake";
  job.entry = Service::FirmwareEntry{};
  job.entry->id = "qv-single-2.1";
  job.entry->fileName = "qv-single-2.1.bin";
  job.entry->versionMajor = 2;
  job.entry->versionMinor = 1;
  RunChangeFirmware(job,
                    {center, backend, ports, clock, log, notifier, QUORVANE_SCRIPT_FOLDER "/",
                     temp.Path() + "/", maker.PublicKeyPath()},
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
