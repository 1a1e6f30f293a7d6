// The rules behind the window, without a window: what the ribbon enables and shows, when a
// gallery item runs, the list's lines, how live values reach the window, the title's text and
// when a display can be opened.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <set>

#include "center/app/colour_scheme.h"
#include "center/app/display_check.h"
#include "center/app/list_display.h"
#include "center/app/live_value_buffer.h"
#include "center/app/ribbon_state.h"
#include "center/app/screenshot_files.h"
#include "center/app/trace_recorder.h"
#include "center/device/device_discovery.h"
#include "center/device/live_data.h"
#include "center/device/simulated_backend.h"
#include "tests/support/shipped_controllers.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;

Service::FirmwareEntry Firmware(const std::string& name) {
  Service::FirmwareEntry entry;
  entry.displayName = name;
  return entry;
}

// The enabled commands, in the order Calibrate, Reset, View Metrics, Change Firmware, Upload
// Custom Firmware, Update Firmware, Update Updater, Save Firmware, Check for Updates.
TEST(RibbonStateTable, EnableFlagsModesAndGalleriesFollowTheSelection) {
  const RibbonCommand order[] = {RibbonCommand::Calibrate,
                                 RibbonCommand::Reset,
                                 RibbonCommand::ViewMetrics,
                                 RibbonCommand::ChangeFirmware,
                                 RibbonCommand::UploadCustomFirmware,
                                 RibbonCommand::UpdateFirmware,
                                 RibbonCommand::UpdateUpdater,
                                 RibbonCommand::SaveFirmware,
                                 RibbonCommand::CheckForUpdates};
  const struct {
    RibbonSelection selection;
    bool deviceLine, canCalibrate, firmwareUpdate, updaterUpdate;
    RibbonMode mode;
    const char* enabled;
  } cases[] = {
      {RibbonSelection::None, false, true, true, false, RibbonMode::NothingSelected, "000000011"},
      {RibbonSelection::None, false, false, false, true, RibbonMode::NothingSelected, "000000111"},
      {RibbonSelection::Row, true, true, false, true, RibbonMode::DeviceSelected, "000110111"},
      {RibbonSelection::Row, false, false, false, false, RibbonMode::ChannelSelected, "011000011"},
      {RibbonSelection::Row, false, true, true, false, RibbonMode::ChannelSelected, "111001011"},
      {RibbonSelection::ButtonRow, false, false, true, false, RibbonMode::ChannelSelected,
       "011001011"},
  };
  for (const auto& c : cases) {
    RibbonInputs inputs;
    inputs.selection = c.selection;
    inputs.selectedIsDeviceLine = c.deviceLine;
    inputs.selectedCanCalibrate = c.canCalibrate;
    inputs.selectedFirmwareUpdateAvailable = c.firmwareUpdate;
    if (c.updaterUpdate) inputs.updaterUpdate = Platform::FileVersion{2, 0, 0, 1};
    const RibbonState state = ComputeRibbonState(inputs);
    std::string enabled;
    for (const auto command : order) enabled += state.Enabled(command) ? '1' : '0';
    EXPECT_EQ(enabled, c.enabled) << static_cast<int>(c.selection) << c.deviceLine
                                  << c.canCalibrate;
    EXPECT_EQ(state.mode, c.mode) << c.enabled;
  }

  // Change items are the selected row's, only with a selection; recovery items always all.
  RibbonInputs inputs;
  inputs.selectedFirmwares = {Firmware("Quad Pedal Firmware v3.4")};
  inputs.allFirmwares = {Firmware("Single Brake Firmware v2.1"),
                         Firmware("Quad Pedal Firmware v3.4")};
  EXPECT_TRUE(ComputeRibbonState(inputs).changeFirmwareItems.empty());
  inputs.selection = RibbonSelection::Row;
  const RibbonState selected = ComputeRibbonState(inputs);
  EXPECT_EQ(selected.changeFirmwareItems, (std::vector<std::string>{"Quad Pedal Firmware v3.4"}));
  EXPECT_EQ(selected.recoveryItems,
            (std::vector<std::string>{"Single Brake Firmware v2.1", "Quad Pedal Firmware v3.4"}));
}

TEST(RibbonStateTable, LabelsOfReadyUpdatesAndTogglesFromTheSettings) {
  RibbonInputs inputs;
  RibbonState state = ComputeRibbonState(inputs);
  EXPECT_EQ(state.Label(RibbonCommand::CheckForUpdates), "Check for Updates");
  EXPECT_EQ(state.Label(RibbonCommand::UpdateUpdater), "Update Updater");
  EXPECT_FALSE(state.Checked(RibbonCommand::TopMostWindow));

  inputs.centerUpdate = Platform::FileVersion{1, 2, 3, 4};
  inputs.updaterUpdate = Platform::FileVersion{2, 0, 0, 1};
  inputs.topMostWindow = true;
  inputs.secureCrashRecovery = true;
  state = ComputeRibbonState(inputs);
  EXPECT_EQ(state.Label(RibbonCommand::CheckForUpdates), "Update to v1.2.3.4");
  EXPECT_EQ(state.Label(RibbonCommand::UpdateUpdater), "Update to v2.0.0.1");
  EXPECT_TRUE(state.Checked(RibbonCommand::TopMostWindow));
  EXPECT_TRUE(state.Checked(RibbonCommand::SecureCrashRecovery));
  EXPECT_FALSE(state.Checked(RibbonCommand::EnableBetaSoftware));
  EXPECT_TRUE(state.Enabled(RibbonCommand::TopMostWindow));

  // Where no window may stay on top the toggle is off, disabled, and says why.
  inputs.windowsCanStayOnTop = false;
  state = ComputeRibbonState(inputs);
  EXPECT_FALSE(state.Checked(RibbonCommand::TopMostWindow));
  EXPECT_FALSE(state.Enabled(RibbonCommand::TopMostWindow));
  EXPECT_EQ(state.ToolTip(RibbonCommand::TopMostWindow), kNoTopMostReason);
  EXPECT_EQ(state.ToolTip(RibbonCommand::About), "About");
}

// Every command on the ribbon has its own access key, in each label it can have.
TEST(RibbonStateTable, EachCommandHasItsOwnAccessKeyInEveryLabel) {
  RibbonInputs inputs;
  std::set<char> keys;
  for (const bool updatesReady : {false, true}) {
    if (updatesReady)
      inputs.centerUpdate = inputs.updaterUpdate = Platform::FileVersion{3, 0, 0, 0};
    const RibbonState state = ComputeRibbonState(inputs);
    for (int command = 0; command <= static_cast<int>(RibbonCommand::Trace); ++command) {
      const std::string label = state.KeyboardLabel(static_cast<RibbonCommand>(command));
      const auto mark = label.find('&');
      if (mark == std::string::npos) continue;
      EXPECT_EQ(label.find('&', mark + 1), std::string::npos) << label;
      if (!updatesReady) {
        EXPECT_TRUE(keys.insert(static_cast<char>(std::tolower(label[mark + 1]))).second) << label;
      }
    }
  }
  EXPECT_EQ(keys.size(), 17u);
  const RibbonState ready = ComputeRibbonState(inputs);
  EXPECT_EQ(ready.KeyboardLabel(RibbonCommand::CheckForUpdates), "U&pdate to v3.0.0.0");
  EXPECT_EQ(ready.KeyboardLabel(RibbonCommand::UpdateUpdater), "Up&date to v3.0.0.0");
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
  Device::SimulatedBackend backend(Testing::ShippedControllers({"demo.xml"}), clock);
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
  for (const auto& line : lines) markers += "+rgylb?"[static_cast<int>(line.marker)];
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
  EXPECT_EQ(buffer.Take(buffer.ListGeneration()),
            (std::vector<std::pair<std::size_t, std::uint32_t>>{{0, 9}}));
}

Platform::EnvironmentLookup Environment(std::map<std::string, std::string> values) {
  return [values = std::move(values)](std::string_view name) -> std::optional<std::string> {
    const auto found = values.find(std::string(name));
    return found == values.end() ? std::nullopt : std::optional<std::string>(found->second);
  };
}

// On a dark palette the list's text stays readable on its rows, and the bar colours too close to
// their trough (blue and grey on dark, green and yellow on white) get an edge; a light palette
// keeps the list's own colours.
TEST(ColourScheme, TextAndBarsStayReadableOnLightAndDarkPalettes) {
  const CenterColours light = CenterColoursFor(
      {{239, 239, 239}, {255, 255, 255}, {0, 0, 0}, {48, 140, 198}, {160, 160, 160}});
  EXPECT_EQ(light.highlight, (Ui::Rgb{205, 231, 255}));
  const CenterColours dark =
      CenterColoursFor({{53, 53, 53}, {35, 35, 35}, {235, 235, 235}, {42, 130, 218}, {90, 90, 90}});
  for (const CenterColours& colours : {light, dark}) {
    EXPECT_GE(ContrastRatio(colours.text, colours.row), 7.0);
    EXPECT_GE(ContrastRatio(colours.text, colours.highlight), 4.5);
    EXPECT_GE(ContrastRatio(colours.groupLabel, colours.groups), 4.5);
  }
  const auto edged = [](const CenterColours& colours) {
    std::string names;
    for (std::size_t colour = 0; colour < Ui::kColourTable.size(); ++colour) {
      if (BarNeedsEdge(Ui::kColourTable[colour], colours.row)) names += "RGYgB"[colour];
    }
    return names;
  };
  EXPECT_EQ(edged(dark), "gB");
  EXPECT_EQ(edged(light), "GY");
  EXPECT_EQ(ChooseColourScheme("dark", 2u), ColourScheme::Dark);
  EXPECT_EQ(ChooseColourScheme("", 1u), ColourScheme::Dark);
  EXPECT_EQ(ChooseColourScheme("", 0u), ColourScheme::Desktop);
  EXPECT_EQ(ChooseColourScheme("Light", std::nullopt), ColourScheme::Light);
  // A light base under a dark window takes the palette's colours, not the light fixed ones.
  EXPECT_EQ(
      CenterColoursFor({{53, 53, 53}, {255, 255, 255}, {0, 0, 0}, {42, 130, 218}, {90, 90, 90}})
          .ribbon,
      (Ui::Rgb{53, 53, 53}));
}

TEST(Display, ReachableOnlyWithAPlatformOrASocketThatExists) {
  EXPECT_FALSE(DisplayReachable(Environment({})));
  EXPECT_FALSE(DisplayReachable(Environment({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}})));
  EXPECT_TRUE(DisplayReachable(Environment({{"QT_QPA_PLATFORM", "offscreen"}})));
  EXPECT_TRUE(
      DisplayReachable(Environment({{"DISPLAY", "localhost:10.0"}})));  // forwarded: trusted
  EXPECT_FALSE(DisplayReachable(Environment({{"DISPLAY", ":7391"}})));  // no such local server

  Testing::TempFolder runtime;
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = runtime.File("wayland-9");
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_TRUE(DisplayReachable(
      Environment({{"WAYLAND_DISPLAY", "wayland-9"}, {"XDG_RUNTIME_DIR", runtime.Path()}})));
  EXPECT_FALSE(DisplayReachable(
      Environment({{"WAYLAND_DISPLAY", "wayland-8"}, {"XDG_RUNTIME_DIR", runtime.Path()}})));
  close(listener);
}

TEST(CommandLine, HeadlessIsTakenOutAndTheRestKept) {
  const char* arguments[] = {"Kestrane", "/restart:center", "--headless", "/isbeta:true"};
  const auto parsed = ParseCenterCommandLine(4, const_cast<char**>(arguments));
  EXPECT_TRUE(parsed.headless);
  EXPECT_EQ(parsed.rest, "/restart:center /isbeta:true");
  EXPECT_FALSE(ParseCenterCommandLine(1, const_cast<char**>(arguments)).headless);
}

// The chosen type's extension is added unless the name ends with it in any case; a name with
// ".url" at its end or before the extension names a link file and is refused.
TEST(ScreenshotFiles, TheChosenTypesExtensionIsAddedAndLinkFilesAreRefused) {
  const auto& types = ScreenshotTypes();
  const struct {
    std::string typed;
    std::size_t type;
    std::string saved;
    bool link;
  } cases[] = {
      {"/home/racer/shot", 0, "/home/racer/shot.bmp", false},
      {"/home/racer/shot.JPEG", 1, "/home/racer/shot.JPEG", false},
      {"/home/racer/shot.jpg", 1, "/home/racer/shot.jpg.jpeg", false},
      {"/home/racer/shot.png", 0, "/home/racer/shot.png.bmp", false},
      {"/tmp/site.url.png", 2, "/tmp/site.url.png", true},
      {"/tmp/urls.png", 2, "/tmp/urls.png", false},
      {"/tmp/shot.urlx", 2, "/tmp/shot.urlx.png", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ScreenshotFileName(c.typed, types.at(c.type)), c.saved);
    EXPECT_EQ(IsUrlFileName(c.saved), c.link) << c.saved;
  }
}

// The trace follows one controller by its path: a line per load cell (no buttons), each reading
// as a share of its calibrated range kept for ten seconds; it says when the controller left and
// keeps what it had.
TEST(TraceRecorder, FollowsOneControllersLoadCellsAndTellsWhenItLeft) {
  using namespace std::chrono_literals;
  Platform::ManualClock clock;
  Device::SimulatedBackend backend(Testing::ShippedControllers({"demo.xml"}), clock);
  clock.Advance(700ms);  // the demo's pedals are on their way up
  auto rows = DemoRows();
  for (auto& row : rows) Device::ReadLiveReports(backend, row);
  TraceRecorder trace(rows[2]);
  ASSERT_TRUE(trace.Feed(rows, 0ms));
  ASSERT_EQ(trace.Channels().size(), 4u);
  ASSERT_EQ(trace.Buttons().size(), 2u);  // the paddles: marks, not lines
  EXPECT_EQ(trace.Buttons()[1].name, "Sequential Gearbox Up");
  EXPECT_EQ(trace.Channels()[0].name, "Brake");
  EXPECT_EQ(trace.Channels()[0].colour, MarkerColour(LineMarker::Brake));
  const auto& brake = rows[1];
  const double share =
      (static_cast<double>(brake.PresentRawReading()) - brake.PresentCalibrationMinimum()) /
      (static_cast<double>(brake.PresentCalibrationMaximum()) - brake.PresentCalibrationMinimum());
  ASSERT_GT(share, 0.0);
  EXPECT_NEAR(trace.Channels()[0].shares.back().second, std::min(share, 1.0), 1e-9);
  for (int step = 1; step <= 400; ++step) trace.Feed(rows, std::chrono::milliseconds(step * 33));
  EXPECT_LE(trace.Channels()[0].shares.back().first - trace.Channels()[0].shares.front().first,
            TraceRecorder::kSpan);

  std::vector<Device::QuorvaneDevice> others(rows.begin() + 7, rows.end());  // the single only
  EXPECT_FALSE(trace.Feed(others, 14000ms));
  EXPECT_TRUE(trace.Left());
  EXPECT_EQ(trace.Channels().size(), 4u);
}

}  // namespace
