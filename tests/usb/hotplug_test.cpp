// Runs inside the USB lab (tests/usb/usb_lab_suite.sh): the center on the real hidapi backend and
// udev monitor, while a controller twin comes and goes.
//   usb_lab_hotplug_test TWIN_PROGRAM DESCRIPTION SERIAL
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <thread>

#include "center/app/application.h"
#include "center/app/device_watch.h"
#include "center/device/hidapi_backend.h"
#include "common/platform/process.h"
#include "tests/support/center_folders.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace std::chrono_literals;

std::vector<std::string> gArguments;

struct QuietView final : Center::CenterView {
  void DeviceListChanged() override {}
  void RebuildListDisplay() override {}
  void DropValueBars(std::vector<Device::QuorvaneDevice>&) override {}
  void SetStatusText(int, const std::string&) override {}
  void SetValueBar(std::size_t, std::uint32_t) override {}
  void RefreshRibbon(Center::RibbonSelection) override {}
  void FirmwaresArrived() override {}
};

bool Listed(Center::CApplication& application, const std::string& serial) {
  std::lock_guard lock(application.Devices().listLock);
  for (const auto& row : application.Devices().rows) {
    if (row.serialNumber == serial) return true;
  }
  return false;
}

bool Within(std::chrono::seconds limit, const std::function<bool()>& condition) {
  for (const auto end = std::chrono::steady_clock::now() + limit;
       std::chrono::steady_clock::now() < end;) {
    if (condition()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return condition();
}

TEST(HotPlug, ATwinPluggedInAndPulledOutWhileTheCenterRunsComesAndGoes) {
  ASSERT_EQ(gArguments.size(), 3u) << "usage: usb_lab_hotplug_test TWIN_PROGRAM DESCRIPTION SERIAL";
  const std::string& serial = gArguments[2];
  Testing::TempFolder root;
  const Platform::KnownFolders folders = Testing::CenterFolders(root);
  Platform::SystemClock clock;
  Diagnostics::RecordingEventLog log;
  Diagnostics::RecordingUserNotifier notifier;
  Device::HidapiBackend backend;
  Center::CApplication application(
      {folders, {"http://127.0.0.1:1/x"}, backend, log, notifier, clock});
  application.StartUp("");
  QuietView view;
  application.StartPollThread(view);
  const auto monitor = Center::WatchForDevices(application);
  ASSERT_TRUE(monitor->Active());
  EXPECT_FALSE(Listed(application, serial));

  std::error_code error;
  auto twin =
      Platform::Process::Start({gArguments[0], {gArguments[1]}, "", root.File("twin.out")}, error);
  ASSERT_TRUE(twin) << error.message();
  EXPECT_TRUE(Within(15s, [&] { return Listed(application, serial); }))
      << Testing::ReadTextFile(root.File("twin.out"));
  twin->Signal(SIGTERM);
  EXPECT_EQ(twin->Wait(), 0);
  EXPECT_TRUE(Within(15s, [&] { return !Listed(application, serial); }));
  application.Shutdown();
  EXPECT_TRUE(notifier.Notices().empty());
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  gArguments.assign(argv + 1, argv + argc);
  return RUN_ALL_TESTS();
}
