// The rules behind the window, without a window: what the ribbon enables and shows, when a
// gallery item runs, the list's lines, how live values reach the window, the title's text and
// when a display can be opened.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include "center/app/center_texts.h"
#include "center/app/display_check.h"
#include "center/app/list_display.h"
#include "center/app/live_value_buffer.h"
#include "center/app/ribbon_state.h"
#include "center/app/screenshot_files.h"
#include "center/device/device_discovery.h"
#include "center/device/simulated_backend.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;

Service::FirmwareEntry Firmware(const std::string& name) {
  Service::FirmwareEntry entry;
  entry.displayName = name;
  return entry;
}

TEST(RibbonStateTable, EnableFlagsModesAndGalleriesFollowTheSelection) {
  RibbonInputs inputs;
  inputs.selectedFirmwares = {Firmware("Quad Pedal Firmware v3.4")};
  inputs.allFirmwares = {Firmware("Single Brake Firmware v2.1"), Firmware("Quad Pedal Firmware v3.4")};

  const RibbonState none = ComputeRibbonState(inputs);
  EXPECT_EQ(none.mode, RibbonMode::NothingSelected);
  for (const auto command : {RibbonCommand::Calibrate, RibbonCommand::Reset, RibbonCommand::ViewMetrics,
                             RibbonCommand::ChangeFirmware, RibbonCommand::UploadCustomFirmware,
                             RibbonCommand::UpdateFirmware, RibbonCommand::UpdateUpdater}) {
    EXPECT_FALSE(none.Enabled(command)) << static_cast<int>(command);
  }
  EXPECT_TRUE(none.Enabled(RibbonCommand::CheckForUpdates));
  EXPECT_TRUE(none.Enabled(RibbonCommand::SaveFirmware));
  EXPECT_TRUE(none.changeFirmwareItems.empty());  // nothing selected: an empty gallery
  EXPECT_EQ(none.recoveryItems, (std::vector<std::string>{"Single Brake Firmware v2.1", "Quad Pedal Firmware v3.4"}));

  inputs.selection = RibbonSelection::Row;
  inputs.selectedIsDeviceLine = true;
  const RibbonState device = ComputeRibbonState(inputs);
  EXPECT_EQ(device.mode, RibbonMode::DeviceSelected);
  EXPECT_TRUE(device.Enabled(RibbonCommand::ChangeFirmware));
  EXPECT_TRUE(device.Enabled(RibbonCommand::UploadCustomFirmware));
  EXPECT_FALSE(device.Enabled(RibbonCommand::Calibrate));
  EXPECT_FALSE(device.Enabled(RibbonCommand::Reset));
  EXPECT_EQ(device.changeFirmwareItems, (std::vector<std::string>{"Quad Pedal Firmware v3.4"}));

  inputs.selectedIsDeviceLine = false;
  EXPECT_FALSE(ComputeRibbonState(inputs).Enabled(RibbonCommand::Calibrate));  // no command for the row
  EXPECT_TRUE(ComputeRibbonState(inputs).Enabled(RibbonCommand::Reset));
  inputs.selectedCanCalibrate = true;
  const RibbonState channel = ComputeRibbonState(inputs);
  EXPECT_EQ(channel.mode, RibbonMode::ChannelSelected);
  EXPECT_TRUE(channel.Enabled(RibbonCommand::Calibrate));
  EXPECT_TRUE(channel.Enabled(RibbonCommand::Reset));
  EXPECT_FALSE(channel.Enabled(RibbonCommand::ChangeFirmware));

  inputs.selection = RibbonSelection::ButtonRow;
  EXPECT_EQ(ComputeRibbonState(inputs).mode, RibbonMode::ChannelSelected);

  // Update Firmware follows the selected row's flag, and never without a selection.
  inputs.selectedFirmwareUpdateAvailable = true;
  EXPECT_TRUE(ComputeRibbonState(inputs).Enabled(RibbonCommand::UpdateFirmware));
  inputs.selection = RibbonSelection::None;
  EXPECT_FALSE(ComputeRibbonState(inputs).Enabled(RibbonCommand::UpdateFirmware));
}

TEST(RibbonStateTable, LabelsOfReadyUpdatesAndTogglesFromTheSettings) {
  RibbonInputs inputs;
  RibbonState state = ComputeRibbonState(inputs);
  EXPECT_EQ(state.Label(RibbonCommand::CheckForUpdates), "Check for Updates");
  EXPECT_EQ(state.Label(RibbonCommand::UpdateUpdater), "Update Updater");
  EXPECT_EQ(state.Label(RibbonCommand::ChangeFirmware), "Change Firmware");
  EXPECT_EQ(state.Label(RibbonCommand::CrashRecovery), "Crash Recovery");
  EXPECT_FALSE(state.Checked(RibbonCommand::TopMostWindow));

  inputs.centerUpdate = Platform::FileVersion{1, 2, 3, 4};
  inputs.updaterUpdate = Platform::FileVersion{2, 0, 0, 1};
  inputs.topMostWindow = true;
  inputs.secureCrashRecovery = true;
  state = ComputeRibbonState(inputs);
  EXPECT_EQ(state.Label(RibbonCommand::CheckForUpdates), "Update to v1.2.3.4");
  EXPECT_EQ(state.Label(RibbonCommand::UpdateUpdater), "Update to v2.0.0.1");
  EXPECT_TRUE(state.Enabled(RibbonCommand::UpdateUpdater));
  EXPECT_TRUE(state.Checked(RibbonCommand::TopMostWindow));
  EXPECT_TRUE(state.Checked(RibbonCommand::SecureCrashRecovery));
  EXPECT_FALSE(state.Checked(RibbonCommand::EnableBetaSoftware));
}

TEST(GalleryRule, AnItemRunsOnlyWhenReportedTwiceInARow) {
  GalleryExecution gallery;
  EXPECT_EQ(gallery.Report(2), std::nullopt);  // the preview of a hovered item
  EXPECT_EQ(gallery.Report(2), 2);             // its click
  EXPECT_EQ(gallery.Report(2), std::nullopt);  // both remembered indexes started over
  EXPECT_EQ(gallery.Report(1), std::nullopt);
  EXPECT_EQ(gallery.Report(3), std::nullopt);  // pointer moved on
  EXPECT_EQ(gallery.Report(3), 3);
  EXPECT_EQ(gallery.Report(-1), std::nullopt);
  EXPECT_EQ(gallery.Report(-1), std::nullopt);  // −1 never runs
  EXPECT_EQ(gallery.Report(0), std::nullopt);
  EXPECT_EQ(gallery.Report(0), 0);
}

std::vector<Device::QuorvaneDevice> DemoRows() {
  Platform::ManualClock clock;
  Device::SimulatedBackend backend(
      Device::SimulatedBackend::ReadDescriptionFile(std::string(QUORVANE_SIMULATED_DIR) + "/demo.xml"), clock);
  Diagnostics::RecordingEventLog log;
  Diagnostics::RecordingUserNotifier notifier;
  Device::DiscoveryServices services{backend, clock, log, notifier, {}, {}};
  Device::DeviceList list;
  Device::RetrieveQuorvaneDevices(list, services);
  return list.rows;
}

TEST(ListLines, TheDemoSetShowsDeviceChannelAndButtonLinesInOrder) {
  auto rows = DemoRows();
  rows[2].currentValue = 1234;
  const auto lines = BuildListLines(rows);
  ASSERT_EQ(lines.size(), 9u);
  std::string markers;
  for (const auto& line : lines) markers += MarkerCharacter(line.marker);
  EXPECT_EQ(markers, "+rgylbb+r");
  EXPECT_EQ(lines[0].name, rows[0].product);
  EXPECT_EQ(lines[0].serial, "QVB-Q-1001");
  EXPECT_EQ(lines[0].firmware, "v3.2");
  EXPECT_FALSE(lines[0].hasValueBar);
  EXPECT_EQ(lines[1].name, "Brake");
  EXPECT_EQ(lines[5].name, "Sequential Gearbox Down");
  for (std::size_t index : {1u, 2u, 3u, 4u, 5u, 6u, 8u}) {
    EXPECT_TRUE(lines[index].hasValueBar) << index;
    EXPECT_TRUE(lines[index].serial.empty());
    EXPECT_EQ(lines[index].maximum, 65535);
  }
  EXPECT_EQ(lines[2].value, 1234u);
  EXPECT_EQ(lines[2].barColour, (Ui::Rgb{181, 230, 29}));
  EXPECT_EQ(lines[4].barColour, (Ui::Rgb{107, 107, 107}));
  EXPECT_EQ(lines[5].barColour, (Ui::Rgb{0, 0, 255}));  // buttons take blue
  EXPECT_EQ(lines[7].firmware, "v2.0");
}

TEST(ListLines, BarFractionsStayWithinTheBar) {
  EXPECT_DOUBLE_EQ(BarFraction(0, 0, 65535), 0.0);
  EXPECT_DOUBLE_EQ(BarFraction(65535, 0, 65535), 1.0);
  EXPECT_DOUBLE_EQ(BarFraction(100000, 0, 65535), 1.0);
  EXPECT_DOUBLE_EQ(BarFraction(5, 10, 10), 0.0);
  EXPECT_DOUBLE_EQ(BarFraction(static_cast<std::uint32_t>(-50), -100, 100), 0.25);
}

TEST(LiveValues, OnlyTheLatestValuePerRowAndNoneOfAReplacedList) {
  LiveValueBuffer buffer;
  const auto generation = buffer.ListGeneration();
  for (std::uint32_t value = 0; value < 1000; ++value) {
    buffer.Set(3, value);
    buffer.Set(1, value * 2);
  }
  auto taken = buffer.Take(generation);
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0], std::make_pair(std::size_t{3}, 999u));
  EXPECT_EQ(taken[1], std::make_pair(std::size_t{1}, 1998u));
  EXPECT_TRUE(buffer.Take(generation).empty());

  buffer.Set(2, 7);
  buffer.StartNewList();
  EXPECT_TRUE(buffer.Take(generation).empty());  // the window still shows the old list
  buffer.Set(0, 9);
  EXPECT_TRUE(buffer.Take(generation).empty());
  EXPECT_EQ(buffer.Take(buffer.ListGeneration()), (std::vector<std::pair<std::size_t, std::uint32_t>>{{0, 9}}));
}

TEST(WindowTexts, TitleCarriesVersionAndRunningTime) {
  const std::string base = BaseWindowTitle({1, 2, 3, 4});
  EXPECT_EQ(base, "Kestrane | v1.2.3.4");
  EXPECT_EQ(WindowTitle(base, 605'000), "Kestrane | v1.2.3.4 | 10:05");
  EXPECT_EQ(WindowTitle(base, 3'602'000), "Kestrane | v1.2.3.4 | 1 hour 00:02");
  EXPECT_EQ(AboutText({1, 0, 0, 0}), "Kestrane, Version 1.0.0.0");
}

Platform::EnvironmentLookup Environment(std::map<std::string, std::string> values) {
  return [values = std::move(values)](std::string_view name) -> std::optional<std::string> {
    const auto found = values.find(std::string(name));
    return found == values.end() ? std::nullopt : std::optional<std::string>(found->second);
  };
}

TEST(Display, ReachableOnlyWithAPlatformOrASocketThatExists) {
  EXPECT_FALSE(DisplayReachable(Environment({})));
  EXPECT_FALSE(DisplayReachable(Environment({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}})));
  EXPECT_TRUE(DisplayReachable(Environment({{"QT_QPA_PLATFORM", "offscreen"}})));
  EXPECT_TRUE(DisplayReachable(Environment({{"DISPLAY", "localhost:10.0"}})));  // forwarded: trusted
  EXPECT_FALSE(DisplayReachable(Environment({{"DISPLAY", ":7391"}})));          // no such local server

  Testing::TempFolder runtime;
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = runtime.File("wayland-9");
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_TRUE(DisplayReachable(Environment({{"WAYLAND_DISPLAY", "wayland-9"}, {"XDG_RUNTIME_DIR", runtime.Path()}})));
  EXPECT_FALSE(DisplayReachable(Environment({{"WAYLAND_DISPLAY", "wayland-8"}, {"XDG_RUNTIME_DIR", runtime.Path()}})));
  close(listener);
}

TEST(CommandLine, HeadlessIsTakenOutAndTheRestKept) {
  const char* arguments[] = {"Kestrane", "/restart:center", "--headless", "/isbeta:true"};
  const auto parsed = ParseCenterCommandLine(4, const_cast<char**>(arguments));
  EXPECT_TRUE(parsed.headless);
  EXPECT_EQ(parsed.rest, "/restart:center /isbeta:true");
  EXPECT_FALSE(ParseCenterCommandLine(1, const_cast<char**>(arguments)).headless);
}

TEST(ScreenshotFiles, TheChosenTypesExtensionIsAddedUnlessTheNameEndsWithIt) {
  const auto& types = ScreenshotTypes();
  ASSERT_EQ(types.size(), 3u);
  EXPECT_STREQ(types[0].label, "BMP");
  EXPECT_STREQ(types[1].pattern, "*.jpeg");
  EXPECT_STREQ(types[2].extension, ".png");
  EXPECT_EQ(ScreenshotFileName("/home/racer/shot", types[0]), "/home/racer/shot.bmp");
  EXPECT_EQ(ScreenshotFileName("/home/racer/shot.JPEG", types[1]), "/home/racer/shot.JPEG");
  EXPECT_EQ(ScreenshotFileName("/home/racer/shot.jpg", types[1]), "/home/racer/shot.jpg.jpeg");
  EXPECT_EQ(ScreenshotFileName("/home/racer/shot.png", types[2]), "/home/racer/shot.png");
  EXPECT_EQ(ScreenshotFileName("/home/racer/shot.png", types[0]), "/home/racer/shot.png.bmp");
}

TEST(ScreenshotFiles, LinkFilesAreRefused) {
  EXPECT_TRUE(IsUrlFileName("/tmp/site.URL"));
  EXPECT_TRUE(IsUrlFileName("/tmp/site.url.png"));
  EXPECT_FALSE(IsUrlFileName("/tmp/urls.png"));
  EXPECT_FALSE(IsUrlFileName("/tmp/shot.urlx"));
}

}  // namespace
