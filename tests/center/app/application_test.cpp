// The center's life on simulated controllers and an injected clock: start-up, the poll loop,
// device changes, shutdown, and the single-instance guard with real processes.
#include "center/app/application.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "center/app/device_watch.h"
#include "center/device/simulated_backend.h"
#include "common/diagnostics/qv77_exception.h"
#include "common/platform/process.h"
#include "common/update_install/updates_ready_file.h"
#include "tests/support/center_folders.h"
#include "tests/support/shipped_controllers.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;
using namespace std::chrono_literals;

class RecordingView final : public CenterView {
 public:
  void DeviceListChanged() override { Record("list changed"); }
  void RebuildListDisplay() override { Record("rebuild"); }
  void DropValueBars(std::vector<Device::QuorvaneDevice>& rows) override {
    Record("drop " + std::to_string(rows.size()));
  }
  void SetStatusText(int part, const std::string& text) override {
    Record("status " + std::to_string(part) + " '" + text + "'");
  }
  void SetValueBar(std::size_t row, std::uint32_t value) override {
    std::lock_guard lock(mutex_);
    values.emplace_back(row, value);
  }
  void RefreshRibbon(RibbonSelection selection) override {
    Record(selection == RibbonSelection::None ? "ribbon none" : "ribbon selected");
  }
  void FirmwaresArrived() override { Record("firmwares"); }

  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events;
  }
  std::vector<std::pair<std::size_t, std::uint32_t>> TakeValues() {
    std::lock_guard lock(mutex_);
    return std::exchange(values, {});
  }

 private:
  void Record(const std::string& event) {
    std::lock_guard lock(mutex_);
    events.push_back(event);
  }
  std::mutex mutex_;
  std::vector<std::string> events;
  std::vector<std::pair<std::size_t, std::uint32_t>> values;
};

// A backend whose enumeration can be made to throw.
class ThrowingBackend final : public Device::HidBackend {
 public:
  explicit ThrowingBackend(Device::HidBackend& inner) : inner_(inner) {}
  Device::Enumeration Enumerate() override {
    if (throwQv77)
      throw QV77Exception(static_cast<std::int32_t>(0x80004005u), "enumeration failed");
    if (throwOther) throw std::runtime_error("something else");
    return inner_.Enumerate();
  }
  std::unique_ptr<Device::HidConnection> Open(const std::string& path,
                                              std::error_code& error) override {
    return inner_.Open(path, error);
  }
  bool throwQv77 = false;
  bool throwOther = false;

 private:
  Device::HidBackend& inner_;
};

class Center : public testing::Test {
 protected:
  Center() {
    folders_ = Testing::CenterFolders(root_);
    simulated_ = std::make_unique<Device::SimulatedBackend>(
        Testing::ShippedControllers({"quad-buttons.xml", "single-brake.xml"}), clock_);
    backend_ = std::make_unique<ThrowingBackend>(*simulated_);
    // No service: every call fails at once.
    application_ = std::make_unique<CApplication>(
        CenterEnvironment{folders_, {"http://127.0.0.1:1/x"}, *backend_, log_, notifier_, clock_});
  }

  Testing::TempFolder root_;
  Platform::KnownFolders folders_;
  Platform::ManualClock clock_;
  Diagnostics::RecordingEventLog log_;
  Diagnostics::RecordingUserNotifier notifier_;
  std::unique_ptr<Device::SimulatedBackend> simulated_;
  std::unique_ptr<ThrowingBackend> backend_;
  std::unique_ptr<CApplication> application_;
  RecordingView view_;
};

TEST_F(Center, StartUpMakesTheStoresSettingsAndListAndTurnsBetaOn) {
  application_->StartUp("/restart:center /isbeta:true");
  const std::string user = folders_.localAppData + "/Quorvane/Kestrane/";
  EXPECT_NE(Testing::ReadTextFile(user + "Kestrane.xml")
                .find("<EnableBetaSoftware>true</EnableBetaSoftware>"),
            std::string::npos);
  EXPECT_TRUE(application_->Settings().Values().enableBetaSoftware);
  EXPECT_EQ(application_->Devices().rows.size(), 9u);
  EXPECT_EQ(application_->AllFirmwaresRow().firmwareIdentityOverride, "all-firmwares");
  application_->Shutdown();
  // Every lookup ended: each row's running flag is clear.
  for (const auto& row : application_->Devices().rows) EXPECT_FALSE(row.Lookup().running);
  EXPECT_FALSE(application_->AllFirmwaresRow().Lookup().running);
}

TEST_F(Center, PollPassShowsEveryRowsValueAndSkipsUnchangedButtons) {
  application_->StartUp("");
  application_->AttachView(view_);  // passes are driven here, without the poll thread
  clock_.Advance(100ms);
  application_->PollPass();
  EXPECT_EQ(view_.Events(), (std::vector<std::string>{"rebuild"}));
  auto values = view_.TakeValues();
  // Quad: rows 0..4 axes, 5..6 buttons (both down for their first 300 ms); single: rows 7..8.
  ASSERT_EQ(values.size(), 9u);
  EXPECT_EQ(values[5], std::make_pair(std::size_t{5}, 65535u));
  EXPECT_EQ(values[6], std::make_pair(std::size_t{6}, 65535u));
  clock_.Advance(10ms);
  application_->PollPass();
  EXPECT_EQ(view_.TakeValues().size(), 7u);  // the unchanged buttons are skipped
  clock_.Advance(300ms);
  application_->PollPass();
  values = view_.TakeValues();
  ASSERT_EQ(values.size(), 9u);  // both released
  EXPECT_EQ(values[5].second, 0u);

  application_->SetWindowActive(false);
  clock_.Advance(500ms);
  application_->PollPass();
  EXPECT_TRUE(view_.TakeValues().empty());
}

TEST_F(Center, RefreshReenumeratesAndReportsAChangedList) {
  application_->StartUp("");
  application_->AttachView(view_);
  application_->PollPass();
  simulated_->Unplug("sim/single-brake");
  application_->RequestRefresh();
  application_->PollPass();
  EXPECT_EQ(application_->Devices().rows.size(), 7u);
  const auto events = view_.Events();
  const std::vector<std::string> expected{"rebuild",     "status 0 'Refreshing...'",
                                          "ribbon none", "status 0 ''",
                                          "drop 9",      "list changed",
                                          "ribbon none"};
  EXPECT_EQ(events, expected);
  EXPECT_FALSE(application_->RowSelected());

  // Without the refresh text the pass waits 300 ms first.
  const auto before = clock_.Now();
  application_->OnDeviceChange(DeviceChange::Arrival);
  application_->PollPass();
  EXPECT_GE(clock_.Now() - before, 300ms);
}

// A controller the user may not open shows no line: the user is told once a run that it is there
// and what to do, not left with an empty window.
TEST_F(Center, AControllerThatMayNotBeOpenedIsToldOnceARun) {
  simulated_->Modify("sim/single-brake", [](Device::SimulatedController& controller) {
    controller.openFailure = std::errc::permission_denied;
  });
  application_->StartUp("");
  EXPECT_EQ(application_->Devices().rows.size(), 7u);  // the quad only
  ASSERT_EQ(notifier_.Notices().size(), 1u);
  EXPECT_NE(
      notifier_.Notices()[0].text.find("is connected (sim/single-brake) but may not be opened"),
      std::string::npos)
      << notifier_.Notices()[0].text;
  application_->AttachView(view_);
  application_->RequestRefresh();
  application_->PollPass();
  EXPECT_EQ(notifier_.Notices().size(), 1u);
}

TEST_F(Center, AThrowingEnumerationIsLoggedAndTheLoopGoesOn) {
  application_->StartUp("");
  application_->AttachView(view_);
  backend_->throwQv77 = true;
  application_->RequestRefresh();
  application_->PollPass();
  backend_->throwQv77 = false;
  backend_->throwOther = true;
  application_->RequestRefresh();
  application_->PollPass();
  const auto entries = log_.Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].type, Diagnostics::kEventWarning);
  EXPECT_EQ(entries[0].text.rfind("## QV77Exception thrown. ##", 0), 0u);
  EXPECT_EQ(entries[1].text, "Unknown exception in RetrieveQuorvaneDevices.");
  EXPECT_FALSE(view_.TakeValues().empty());  // live values still come
}

// Arrivals and removals ask for a refresh, except while the firmware update dialog is open; the
// dialogs that close on them hear of them in any case.
TEST_F(Center, DeviceChangesRequestARefreshExceptWhileBusyAndListenersHearArrivalsAndRemovals) {
  int heard = 0;
  const int listener = application_->AddDeviceChangeListener([&] { ++heard; });
  const struct {
    DeviceChange change;
    bool busy;
    bool refresh;
    int heard;
  } cases[] = {{DeviceChange::Removal, false, true, 1},
               {DeviceChange::NodeChange, false, true, 1},
               {DeviceChange::Other, false, false, 1},
               {DeviceChange::Arrival, true, false, 2},
               {DeviceChange::NodeChange, true, false, 2}};
  for (const auto& step : cases) {
    application_->SetFirmwareUpdateOpen(step.busy);
    application_->OnDeviceChange(step.change);
    EXPECT_EQ(application_->RefreshRequested(), step.refresh) << static_cast<int>(step.change);
    EXPECT_EQ(heard, step.heard) << static_cast<int>(step.change);
  }
  application_->RemoveDeviceChangeListener(listener);
  application_->OnDeviceChange(DeviceChange::Arrival);
  EXPECT_EQ(heard, 2);
}

TEST_F(Center, EnablingBetaSoftwareSavesDropsPendingDownloadsAndFetchesEveryListAgain) {
  application_->StartUp("");
  // Downloads fetched without beta, an update offer, and firmware lists of the old setting.
  Diagnostics::RecordingEventLog log;
  for (const char* id : {"Kestrane", "Tollwick"}) {
    const std::string folder = folders_.localAppData + "/Quorvane/Updater/" + id + "/";
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(Update::WriteUpdatesReadyFile({id, {9, 0, 0, 0}, {{"%s", "setup", folder}}},
                                              folder + Update::kUpdatesReadyFileName, log));
  }
  struct Quiet final : UpdateView {
    void SetStatusText(const std::string&) override {}
    void ShowProgress(bool) override {}
    bool AskToUpdate() override { return false; }
    void CloseForUpdate() override {}
    void OffersChanged() override {}
    void TellUser(const std::string&) override {}
  } quiet;
  application_->Updates().CheckForUpdate(quiet);  // the ready file makes an offer
  ASSERT_TRUE(application_->Updates().CenterUpdate());
  application_->Shutdown();  // no lookup may run while the lists are checked
  for (auto& row : application_->Devices().rows) {
    row.Lookup().Append(Service::FirmwareEntry{});
    row.firmwareUpdateAvailable = true;
  }

  application_->SetEnableBetaSoftware(true);
  for (const char* id : {"Kestrane", "Tollwick"}) {
    EXPECT_FALSE(std::filesystem::exists(folders_.localAppData + "/Quorvane/Updater/" + id + "/" +
                                         Update::kUpdatesReadyFileName));
  }
  EXPECT_FALSE(application_->Updates().CenterUpdate());
  for (const auto& row : application_->Devices().rows) {
    EXPECT_FALSE(row.firmwareUpdateAvailable);
    // Lists are emptied for a new lookup; button rows have no list of their own.
    if (!row.IsButtonRow()) {
      EXPECT_TRUE(row.AvailableFirmwares().empty());
    }
  }
}

// The selected row decides the ribbon; an arrival that leaves the list as it is keeps it, and a
// refresh forgets it.
TEST_F(Center, TheSelectedRowDecidesTheRibbonUntilARefreshForgetsIt) {
  application_->StartUp("");
  application_->AttachView(view_);
  application_->PollPass();
  EXPECT_EQ(application_->SelectRow(99), RibbonSelection::None);
  EXPECT_FALSE(application_->RowSelected());
  ASSERT_EQ(application_->SelectRow(1), RibbonSelection::Row);
  application_->OnDeviceChange(DeviceChange::Arrival);  // a keyboard, say: the list stays as it is
  application_->PollPass();
  ASSERT_TRUE(application_->SelectedRow());
  EXPECT_EQ(application_->SelectedRow()->channelName, "Brake");
  EXPECT_TRUE(application_->RowSelected());
  application_->RequestRefresh();
  EXPECT_FALSE(application_->SelectedRow());
  EXPECT_FALSE(application_->RowSelected());
}

// A watch for controllers that cannot start (here no descriptor is left for its socket) is said
// and logged with the system's reason, and the center goes on without it.
TEST_F(Center, AWatchForDevicesThatCannotStartIsShownAndLogged) {
#ifdef QUORVANE_SANITIZED
  GTEST_SKIP() << "the sanitizers' own checks need the file descriptors this test takes away";
#endif
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit none = saved;
  none.rlim_cur = 0;
  setrlimit(RLIMIT_NOFILE, &none);
  const auto monitor = WatchForDevices(*application_);
  setrlimit(RLIMIT_NOFILE, &saved);
  EXPECT_FALSE(monitor->Active());
  ASSERT_EQ(notifier_.Notices().size(), 1u);
  EXPECT_EQ(notifier_.Notices()[0].text,
            "RegisterDeviceNotification executed with return value of FALSE\nLast Error Code: 24\n"
            "Last Error Description: Too many open files\n");
  ASSERT_EQ(log_.Entries().size(), 1u);
  EXPECT_EQ(log_.Entries()[0].text, notifier_.Notices()[0].text);
}

// A second real center is turned away with exit code 1; a lock that cannot be opened at all is
// the system's error, not another center.
TEST(SingleInstance, ASecondCenterIsTurnedAwayAndAnUnusableLockIsTheSystemsError) {
  Testing::TempFolder root;
  mkdir(root.File("run").c_str(), 0700);
  Testing::WriteTextFile(root.File("not-a-folder"), "");
  const auto start = [&](const std::string& runtime, const std::string& output) {
    std::error_code error;
    auto center = Platform::Process::Start(
        {QUORVANE_KESTRANE,
         {"--headless"},
         "",
         root.File(output),
         {{"XDG_RUNTIME_DIR", runtime},
          {"XDG_DATA_HOME", root.File("data")},
          {"QUORVANE_SIMULATED_DEVICES", std::string(QUORVANE_SIMULATED_DIR) + "/single-brake.xml"},
          {"QUORVANE_SERVICE_ENDPOINT", "http://127.0.0.1:1/x"},
          {"QUORVANE_SYSLOG_SOCKET", root.File("none.sock")}}},
        error);
    EXPECT_TRUE(center) << error.message();
    return std::move(*center);
  };
  auto running = start(root.File("run"), "first.out");
  Testing::AwaitFile(root.File("data/Quorvane/Kestrane/Kestrane.xml"));
  EXPECT_EQ(start(root.File("run"), "second.out").Wait(), 1);
  EXPECT_EQ(Testing::ReadTextFile(root.File("second.out")),
            "Information\nOnly one instance of Kestrane is allowed to run at a single time.\n");
  EXPECT_FALSE(running.WaitFor(0ms));  // the first is unaffected
  running.Signal(SIGTERM);
  EXPECT_EQ(running.WaitFor(10s), 0);

  EXPECT_EQ(start(root.File("not-a-folder"), "third.out").WaitFor(10s), 1);
  const std::string output = Testing::ReadTextFile(root.File("third.out"));
  EXPECT_NE(
      output.find("Could not take the lock \"" + root.File("not-a-folder") + "/Kestrane.lock\""),
      std::string::npos)
      << output;
  EXPECT_NE(output.find("Last Error Description: Not a directory"), std::string::npos) << output;
}

}  // namespace
