// The center's update check and hand-off on real files, with stand-ins for the installed updater
// and its uupdater.sh that write down how they were started; and once end to end with the real
// Tollwick and the stand-in service.
#include "center/self_update/update_coordinator.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "common/platform/lock_file.h"
#include "common/update_install/updates_ready_file.h"
#include "tests/support/signing_key.h"
#include "tests/support/temp_folder.h"
#include "tests/support/updater_files.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Center;
using Testing::ReadTextFile;
using Testing::WriteTextFile;

class RecordingUpdateView final : public UpdateView {
 public:
  void SetStatusText(const std::string& text) override { Record("status '" + text + "'"); }
  void ShowProgress(bool running) override { Record(running ? "progress on" : "progress off"); }
  bool AskToUpdate() override {
    Record("asked");
    return answer;
  }
  void CloseForUpdate() override { Record("close"); }
  void OffersChanged() override { Record("offers"); }
  void TellUser(const std::string& text) override { Record("told: " + text); }

  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  bool Saw(const std::string& event) {
    const auto events = Events();
    return std::find(events.begin(), events.end(), event) != events.end();
  }
  bool answer = false;

 private:
  void Record(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  std::mutex mutex_;
  std::vector<std::string> events_;
};

class UpdateChecks : public testing::Test {
 protected:
  UpdateChecks() {
    std::filesystem::create_directories(root_.File("Quorvane/Updater"));
    std::filesystem::create_directories(root_.File("run"));
    chmod(root_.File("run").c_str(), 0700);
    folders_.localAppData = root_.File("data");
    folders_.installRoot = root_.Path();
    // The stand-in updater writes down its arguments and where it was told the data are.
    Testing::WriteExecutable(
        updater_, "echo \"$* data=$XDG_DATA_HOME\" >> '" + root_.File("updater.log") + "'\n");
    key_.TrustIn(root_.Path());
  }

  UpdateCoordinator Coordinator() {
    return UpdateCoordinator({folders_,
                              [this](std::string_view name) -> std::optional<std::string> {
                                if (name == "XDG_RUNTIME_DIR") return root_.File("run");
                                return std::nullopt;
                              },
                              log_, clock_, [this] { return beta_; }, nullptr});
  }
  // A download of the package, signed with the key the test tree trusts.
  void Ready(const std::string& softwareId, Platform::FileVersion version, std::size_t files = 1) {
    const std::string folder = Update::DownloadFolderOf(folders_.localAppData, softwareId);
    std::filesystem::create_directories(folder);
    WriteTextFile(folder + "Tollwick", "new updater");
    key_.Sign(folder + "Tollwick", version.ToString());
    Update::UpdateReadyRecord record{softwareId, version, {}};
    for (std::size_t file = 0; file < files; ++file)
      record.files.push_back({"%s --fast", "Tollwick", folder});
    Diagnostics::RecordingEventLog log;
    ASSERT_TRUE(Update::WriteUpdatesReadyFile(record, folder + Update::kUpdatesReadyFileName, log));
  }

  Testing::TempFolder root_;
  Testing::SigningKey key_;
  Platform::KnownFolders folders_;
  Diagnostics::RecordingEventLog log_;
  Platform::ManualClock clock_;
  bool beta_ = false;
  std::string updater_ = root_.File("Quorvane/Updater/Tollwick");
};

TEST_F(UpdateChecks, AReadyCenterUpdateIsOfferedFirstAndAskedForOnTheNextCheck) {
  Ready("Kestrane", {1, 4, 0, 0});
  auto coordinator = Coordinator();
  RecordingUpdateView first;
  coordinator.CheckForUpdate(first);
  EXPECT_TRUE(first.Saw("status 'Updates Found...'"));
  EXPECT_FALSE(first.Saw("asked"));
  EXPECT_EQ(coordinator.CenterUpdate(), (Platform::FileVersion{1, 4, 0, 0}));
  EXPECT_FALSE(std::filesystem::exists(root_.File("updater.log")));  // nothing to ask the updater

  RecordingUpdateView no;
  coordinator.CheckForUpdate(no);
  EXPECT_TRUE(no.Saw("asked"));
  EXPECT_FALSE(no.Saw("close"));
  EXPECT_FALSE(coordinator.UpdateOnExit());
  EXPECT_TRUE(coordinator.CenterUpdate());  // still offered

  RecordingUpdateView yes;
  yes.answer = true;
  coordinator.CheckForUpdate(yes);
  EXPECT_TRUE(yes.Saw("close"));
  EXPECT_TRUE(coordinator.UpdateOnExit());
  EXPECT_FALSE(coordinator.CheckRunning());

  // At exit the updater installs it and starts the center again, in beta when it is set.
  beta_ = true;
  coordinator.HandOff();
  EXPECT_EQ(Testing::AwaitFile(root_.File("updater.log")),
            "/updateonly:center /restart:center /isbeta:true data=" + folders_.localAppData + "\n");
}

TEST_F(UpdateChecks, TheCheckRunsTheUpdaterInThisUsersDataWithBetaWhenSet) {
  auto coordinator = Coordinator();
  RecordingUpdateView view;
  coordinator.CheckForUpdate(view);
  beta_ = true;
  coordinator.CheckForUpdate(view);
  EXPECT_EQ(ReadTextFile(root_.File("updater.log")),
            "/checkonly:center data=" + folders_.localAppData +
                "\n/checkonly:center /isbeta:true data=" + folders_.localAppData + "\n");
  const auto events = view.Events();
  EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 4),
            (std::vector<std::string>{"progress on", "status 'Checking for update...'",
                                      "progress off", "status ''"}));
  EXPECT_FALSE(coordinator.CenterUpdate());
}

TEST_F(UpdateChecks, AnUpdateTheUpdaterDownloadedMeanwhileIsOfferedAtOnce) {
  // The stand-in updater leaves a ready file, as the real one does when it found something.
  Testing::WriteExecutable(
      updater_, "mkdir -p '" + folders_.localAppData + "/Quorvane/Updater/Kestrane'\ncat > '" +
                    folders_.localAppData +
                    "/Quorvane/Updater/Kestrane/Quorvane.UpdatesReady.xml' <<END\n" +
                    Update::UpdatesReadyText({"Kestrane", {3, 0, 0, 0}, {{"%s", "setup", "/x/"}}}) +
                    "\nEND\n");
  auto coordinator = Coordinator();
  RecordingUpdateView view;
  coordinator.CheckForUpdate(view);
  EXPECT_EQ(coordinator.CenterUpdate(), (Platform::FileVersion{3, 0, 0, 0}));
  EXPECT_TRUE(view.Saw("status 'Updates Found...'"));
}

TEST_F(UpdateChecks, TheUpdaterIsOfferedOnlyASingleNewerFile) {
  auto coordinator = Coordinator();
  RecordingUpdateView view;
  Ready("Tollwick", {9, 0, 0, 0}, 2);
  coordinator.UpdateUpdater(view, false);
  EXPECT_FALSE(coordinator.UpdaterUpdate());
  Ready("Tollwick", {0, 0, 0, 0});  // the stand-in has no version: 0.0.0.0, equal
  coordinator.UpdateUpdater(view, false);
  EXPECT_FALSE(coordinator.UpdaterUpdate());
  Ready("Tollwick", {1, 0, 0, 0});
  coordinator.UpdateUpdater(view, false);
  EXPECT_EQ(coordinator.UpdaterUpdate(), (Platform::FileVersion{1, 0, 0, 0}));
}

// The updater folder is this user's here: the signed download is installed by uupdater.sh as the
// user, and the offer goes only when it installed.
TEST_F(UpdateChecks, UpdatingTheUpdaterVerifiesRunsUupdaterAndKeepsTheOfferUnlessItInstalled) {
  Testing::WriteExecutable(root_.File("Quorvane/Updater/uupdater.sh"),
                           "echo \"$*\" >> '" + root_.File("uupdater.log") +
                               "'\necho 'disk full' >&2\n[ ! -e '" + root_.File("fail") + "' ]\n");
  Ready("Tollwick", {1, 0, 0, 0});
  WriteTextFile(root_.File("fail"), "");
  auto coordinator = Coordinator();
  RecordingUpdateView failed;
  coordinator.UpdateUpdater(failed, true);
  EXPECT_EQ(ReadTextFile(root_.File("uupdater.log")),
            folders_.localAppData + "/Quorvane/Updater/Tollwick Tollwick --fast\n");
  EXPECT_TRUE(std::filesystem::exists(coordinator.UpdaterReadyFile()));
  EXPECT_TRUE(coordinator.UpdaterUpdate());
  ASSERT_EQ(log_.Entries().size(), 1u);
  EXPECT_EQ(log_.Entries()[0].type, Diagnostics::kEventError);
  EXPECT_NE(log_.Entries()[0].text.find("ended with status 1"), std::string::npos)
      << log_.Entries()[0].text;
  EXPECT_NE(log_.Entries()[0].text.find("disk full"), std::string::npos);
  const auto events = failed.Events();
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const std::string& event) { return event.rfind("told: ", 0) == 0; }),
            1);

  std::filesystem::remove(root_.File("fail"));
  RecordingUpdateView view;
  coordinator.UpdateUpdater(view, true);
  EXPECT_TRUE(view.Saw("status 'Updating Updater Application...'"));
  EXPECT_FALSE(std::filesystem::exists(coordinator.UpdaterReadyFile()));
  EXPECT_FALSE(coordinator.UpdaterUpdate());
  EXPECT_FALSE(coordinator.UpdaterUpdateRunning());
}

// While the updater's own update waits (here for its installer; on a desktop for the password),
// a check does not run the updater, which would replace the very download being installed.
TEST_F(UpdateChecks, ACheckDuringTheUpdatersOwnUpdateLeavesItsDownloadAlone) {
  Testing::WriteExecutable(root_.File("Quorvane/Updater/uupdater.sh"),
                           "touch '" + root_.File("started") + "'\nwhile [ ! -e '" +
                               root_.File("release") + "' ]; do sleep 0.02; done\n");
  Ready("Tollwick", {1, 0, 0, 0});
  auto coordinator = Coordinator();
  RecordingUpdateView installing;
  std::thread update([&] { coordinator.UpdateUpdater(installing, true); });
  Testing::AwaitFile(root_.File("started"));
  RecordingUpdateView checking;
  coordinator.CheckForUpdate(checking);
  EXPECT_FALSE(std::filesystem::exists(root_.File("updater.log")));
  WriteTextFile(root_.File("release"), "");
  update.join();
  EXPECT_FALSE(coordinator.UpdaterUpdate());  // installed
}

// A download that another hand changed, or that nobody signed, never runs anything; it goes, so
// that the next check fetches it anew.
TEST_F(UpdateChecks, AnUpdaterDownloadWithoutAValidSignatureIsNeverInstalled) {
  Testing::WriteExecutable(root_.File("Quorvane/Updater/uupdater.sh"),
                           "touch '" + root_.File("ran") + "'\n");
  const std::string download =
      Update::DownloadFolderOf(folders_.localAppData, "Tollwick") + "Tollwick";
  for (const auto& spoil : std::vector<std::function<void()>>{
           [&] { WriteTextFile(download, "new updater, changed"); },
           [&] { std::filesystem::remove(download + ".minisig"); },
           [&] {
             Testing::SigningKey stranger;
             stranger.Sign(download, "1.0.0.0");
           },
           // Signed by the maker, but as another version or another file: a replay.
           [&] { key_.Sign(download, "0.9.0.0"); },
           [&] {
             key_.SignWith(download, download + ".minisig",
                           "file:quorvane_1.0.0.0_amd64.deb version:1.0.0.0");
           }}) {
    Ready("Tollwick", {1, 0, 0, 0});
    spoil();
    auto coordinator = Coordinator();
    RecordingUpdateView view;
    coordinator.UpdateUpdater(view, true);
    EXPECT_FALSE(std::filesystem::exists(root_.File("ran")));
    EXPECT_FALSE(coordinator.UpdaterUpdate());
    EXPECT_FALSE(std::filesystem::exists(coordinator.UpdaterReadyFile()));
    ASSERT_FALSE(log_.Entries().empty());
    EXPECT_NE(log_.Entries().back().text.find("'" + download + "' is refused because"),
              std::string::npos)
        << log_.Entries().back().text;
  }
}

TEST_F(UpdateChecks, NoUpdaterMeansNothingAndAFailedStartOrDamagedFileIsLogged) {
  std::filesystem::remove(updater_);
  auto coordinator = Coordinator();
  RecordingUpdateView quiet;
  coordinator.CheckForUpdate(quiet);
  EXPECT_EQ(quiet.Events(), (std::vector<std::string>{"status ''", "offers", "offers"}));
  EXPECT_TRUE(log_.Entries().empty());

  WriteTextFile(updater_, "not a program");  // there, but cannot be started
  chmod(updater_.c_str(), 0644);
  RecordingUpdateView failed;
  coordinator.CheckForUpdate(failed);
  ASSERT_EQ(log_.Entries().size(), 1u);
  EXPECT_EQ(log_.Entries()[0].type, Diagnostics::kEventWarning);
  EXPECT_EQ(log_.Entries()[0].text.rfind("Could not execute updater with error '", 0), 0u);

  // A damaged ready file is logged and kept aside, and the check runs all the same: its download
  // takes the file's place.
  Testing::WriteExecutable(updater_, "echo \"$*\" >> '" + root_.File("updater.log") + "'\n");
  std::filesystem::create_directories(Update::DownloadFolderOf(folders_.localAppData, "Kestrane"));
  WriteTextFile(coordinator.CenterReadyFile(), "<not xml");
  RecordingUpdateView damaged;
  coordinator.CheckForUpdate(damaged);
  ASSERT_EQ(log_.Entries().size(), 2u);
  EXPECT_EQ(log_.Entries()[1].type, Diagnostics::kEventError);
  EXPECT_NE(log_.Entries()[1].text.find("could not be read; it was kept as "), std::string::npos)
      << log_.Entries()[1].text;
  EXPECT_FALSE(std::filesystem::exists(coordinator.CenterReadyFile()));
  EXPECT_EQ(ReadTextFile(root_.File("updater.log")), "/checkonly:center\n");
  EXPECT_FALSE(coordinator.CenterUpdate());
  EXPECT_FALSE(coordinator.CheckRunning());
}

}  // namespace
