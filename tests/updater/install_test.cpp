// Installing with harmless scripts as installers, and restarting programs of a test tree.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <thread>
#include <tuple>

#include "common/diagnostics/hvx_exception.h"
#include "common/platform/process.h"
#include "common/update_install/updates_ready_file.h"
#include "tests/support/signing_key.h"
#include "tests/support/temp_folder.h"
#include "tests/support/updater_files.h"
#include "updater/install_and_restart.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Updater;
using Testing::ReadTextFile;
using Testing::WriteTextFile;
using namespace std::chrono_literals;

// What the user is told, noted.
class TellingProgressView final : public ProgressView {
 public:
  void Show(const std::string&) override {}
  void Close() override {}
  void Tell(const std::string& text) override { told.push_back(text); }
  std::vector<std::string> told;
};

class Install : public testing::Test {
 protected:
  Install() {
    key_.TrustIn(root_.Path());
    folders_.installRoot = root_.Path();
    folders_.localAppData = root_.File("data");
    for (const char* id : {"Kestrane", "Orlimar"}) {
      std::filesystem::create_directories(root_.File(std::string("Quorvane/") + id));
      // The installed program writes its arguments when it is (re)started.
      Testing::WriteExecutable(
          root_.File(std::string("Quorvane/") + id + "/" + id),
          std::string("echo \"$@\" > '") + root_.File(std::string(id) + ".restarted") + "'");
    }
    WriteTextFile(
        root_.File("Tollwick.xml"),
        Testing::UpdaterConfigurationXml({}, {"Kestrane", "Orlimar", "Tollwick", "Plugin"}));
    configuration_.Load(root_.File("Tollwick.xml"));
  }

  // A signed pending download of the package whose installer appends its arguments to a log,
  // and ends with `status`.
  void Pending(const std::string& id, const std::string& installCommand, int status = 0,
               Platform::FileVersion version = {2, 0, 0, 0}) {
    const std::string folder = Downloads(id);
    std::filesystem::create_directories(folder);
    Testing::WriteExecutable(folder + "setup.run",
                             "echo \"" + id + ":$*\" >> '" + root_.File("installed.log") +
                                 "'\necho 'no space left'\nexit " + std::to_string(status));
    key_.Sign(folder + "setup.run", version.ToString());
    Diagnostics::RecordingEventLog log;
    ASSERT_TRUE(
        Update::WriteUpdatesReadyFile({id, version, {{installCommand, "setup.run", folder}}},
                                      folder + Update::kUpdatesReadyFileName, log));
  }

  bool Run(const std::string& commandLine) {
    const UpdaterContext context{folders_, log_, clock_, progress_};
    return InstallAndRestart(context, configuration_, ParseCommandLine(commandLine));
  }
  bool ReadyFileKept(const std::string& id) {
    return access((Downloads(id) + Update::kUpdatesReadyFileName).c_str(), F_OK) == 0;
  }

  std::string Downloads(const std::string& id) {
    return folders_.localAppData + "/Quorvane/Updater/" + id + "/";
  }
  bool Restarted(const std::string& id) {
    return access(root_.File(id + ".restarted").c_str(), F_OK) == 0;
  }

  Testing::TempFolder root_;
  Testing::SigningKey key_;
  Platform::KnownFolders folders_;
  UpdaterConfiguration configuration_;
  Diagnostics::RecordingEventLog log_;
  Platform::ManualClock clock_;
  TellingProgressView progress_;
};

// What each /updateonly: installs and each /restart: restarts; never the updater, never a package
// without an install folder of its own.
TEST_F(Install, ARestartWaitsASecondAndAHalfAndPassesTheBetaSwitchOn) {
  Pending("Kestrane", "%s");
  const auto before = clock_.Now();
  Run("/updateonly:center /restart:center /isbeta:true");
  EXPECT_EQ(clock_.Now() - before, 1500ms);
  EXPECT_EQ(Testing::AwaitFile(root_.File("Kestrane.restarted")), "/isbeta:true\n");
}

TEST_F(Install, EachSwitchInstallsAndRestartsItsPackagesOnly) {
  const std::tuple<const char*, const char*, std::vector<std::string>> cases[] = {
      {"/updateonly:admin", "Orlimar:--admin\n", {}},
      {"/updateonly:center /restart:admin", "Kestrane:\n", {}},
      {"/updateonly:all /restart:admin", "Kestrane:\nOrlimar:--admin\n", {"Orlimar"}},
      {"/updateonly:all /restart:center", "Kestrane:\nOrlimar:--admin\n", {"Kestrane"}},
      {"/updateonly:all /restart:all", "Kestrane:\nOrlimar:--admin\n", {"Kestrane", "Orlimar"}}};
  for (const auto& [line, installed, restarted] : cases) {
    std::filesystem::remove(root_.File("installed.log"));
    for (const char* id : {"Kestrane", "Orlimar"})
      std::filesystem::remove(root_.File(std::string(id) + ".restarted"));
    Pending("Kestrane", "%s");
    Pending("Orlimar", "%S --admin");
    Pending("Tollwick", "%s");
    Pending("Plugin", "%s --plugin");
    Run(line);
    EXPECT_EQ(ReadTextFile(root_.File("installed.log")), installed) << line;
    for (const auto& id : restarted)
      EXPECT_EQ(Testing::AwaitFile(root_.File(id + ".restarted")), "\n") << line;
    std::this_thread::sleep_for(50ms);
    for (const char* id : {"Kestrane", "Orlimar"}) {
      EXPECT_EQ(Restarted(id), std::find(restarted.begin(), restarted.end(), id) != restarted.end())
          << line << id;
    }
    EXPECT_TRUE(ReadyFileKept("Tollwick") && ReadyFileKept("Plugin")) << line;
  }
}

// A failed installer is no success: the download stays offered, the failure is logged with
// what the installer said and told to the user, and the center comes back as it was.
TEST_F(Install, AFailingInstallerKeepsTheUpdateLogsItsOutputAndStillRestarts) {
  Pending("Kestrane", "%s", 3);
  EXPECT_FALSE(Run("/updateonly:center /restart:center"));
  EXPECT_TRUE(ReadyFileKept("Kestrane"));
  ASSERT_EQ(log_.Entries().size(), 1u);
  EXPECT_EQ(log_.Entries()[0].type, Diagnostics::kEventError);
  EXPECT_NE(log_.Entries()[0].text.find("ended with status 3"), std::string::npos)
      << log_.Entries()[0].text;
  EXPECT_NE(log_.Entries()[0].text.find("no space left"), std::string::npos);
  ASSERT_EQ(progress_.told.size(), 1u);
  EXPECT_EQ(Testing::AwaitFile(root_.File("Kestrane.restarted")), "\n");
}

// What the ready file points at is checked before anything runs: a changed installer, one
// without a signature, one signed by another key, and one the maker signed as another file or
// version (a replay) never start, and the download goes, so that the next check fetches it anew
// instead of offering it for ever.
TEST_F(Install, AnInstallerWhoseSignatureFailsNeverRuns) {
  Testing::SigningKey stranger;
  for (const auto& spoil : std::vector<std::function<void(const std::string&)>>{
           [](const std::string& file) { std::filesystem::resize_file(file, 5); },
           [](const std::string& file) { std::filesystem::remove(file + ".minisig"); },
           [&](const std::string& file) { stranger.Sign(file, "2.0.0.0"); },
           [&](const std::string& file) { key_.Sign(file, "1.0.0.0"); },
           [&](const std::string& file) {
             key_.SignWith(file, file + ".minisig", "file:Tollwick version:2.0.0.0");
           }}) {
    Pending("Kestrane", "%s");
    spoil(Downloads("Kestrane") + "setup.run");
    EXPECT_FALSE(Run("/updateonly:center"));
    EXPECT_FALSE(ReadyFileKept("Kestrane"));
    EXPECT_EQ(ReadTextFile(root_.File("installed.log")), "<missing>");
    ASSERT_FALSE(log_.Entries().empty());
    EXPECT_NE(log_.Entries().back().text.find("setup.run' is refused because"), std::string::npos)
        << log_.Entries().back().text;
  }
}

// The offer's version is held against the installed program's once for all its files: an older
// one is refused and goes; the same one is installed already (one package updating several
// programs, offered for each) and goes without a word; a newer one installs every file.
TEST_F(Install, AnOfferIsHeldAgainstTheInstalledVersionOnceForAllItsFiles) {
  std::filesystem::copy_file(QUORVANE_VERSIONED_PROGRAM, root_.File("Quorvane/Kestrane/Kestrane"),
                             std::filesystem::copy_options::overwrite_existing);  // 3.14.159.26535
  Pending("Kestrane", "%s", 0, {3, 0, 0, 0});
  EXPECT_FALSE(Run("/updateonly:center"));
  EXPECT_FALSE(ReadyFileKept("Kestrane"));
  ASSERT_EQ(log_.Entries().size(), 1u);
  EXPECT_NE(
      log_.Entries()[0].text.find("its version 3.0.0.0 is not above the installed 3.14.159.26535"),
      std::string::npos);
  Pending("Kestrane", "%s", 0, {3, 14, 159, 26535});
  EXPECT_TRUE(Run("/updateonly:center"));
  EXPECT_FALSE(ReadyFileKept("Kestrane"));
  EXPECT_EQ(log_.Entries().size(), 1u);
  EXPECT_EQ(ReadTextFile(root_.File("installed.log")), "<missing>");

  const std::string folder = Downloads("Kestrane");
  Pending("Kestrane", "%s", 0, {4, 0, 0, 0});
  WriteTextFile(folder + "second.run",
                "#!/bin/sh\necho second >> '" + root_.File("installed.log") + "'\n");
  std::filesystem::permissions(folder + "second.run", std::filesystem::perms::owner_all);
  key_.Sign(folder + "second.run", "4.0.0.0");
  Diagnostics::RecordingEventLog log;
  ASSERT_TRUE(Update::WriteUpdatesReadyFile(
      {"Kestrane", {4, 0, 0, 0}, {{"%s", "setup.run", folder}, {"%s", "second.run", folder}}},
      folder + Update::kUpdatesReadyFileName, log));
  EXPECT_TRUE(Run("/updateonly:center"));
  EXPECT_EQ(ReadTextFile(root_.File("installed.log")), "Kestrane:\nsecond\n");
}

// The signature covers the file, not the command the service sent beside it: a command that
// would run another program (a shell, a tool on the PATH) runs nothing, and the download goes.
TEST_F(Install, OnlyTheSignedDownloadItselfRunsWithTheFirstPlaceholderReplaced) {
  Pending("Kestrane", "%s %s");  // only the first placeholder is the file
  Run("/updateonly:center");
  EXPECT_EQ(ReadTextFile(root_.File("installed.log")), "Kestrane:%s\n");

  for (const char* command : {"sh %s", "/bin/sh -c 'touch pwned' %s"}) {
    Pending("Kestrane", command);
    EXPECT_FALSE(Run("/updateonly:center"));
    EXPECT_EQ(ReadTextFile(root_.File("installed.log")), "Kestrane:%s\n") << command;
    EXPECT_FALSE(std::filesystem::exists(Downloads("Kestrane"))) << command;
    EXPECT_NE(log_.Entries().back().text.find("would run another program than the signed download"),
              std::string::npos);
  }
}

// Whatever stops the install step itself (an installer that cannot start, an unreadable ready
// file) ends the run with its reason, and the program that closed for its update still comes
// back, and the user is told.
TEST_F(Install, AFailedInstallStepStillRestartsTheProgramAndSaysWhy) {
  using Halvex::Exceptions::HvxException;
  Pending("Kestrane", "%s");
  chmod((Downloads("Kestrane") + "setup.run").c_str(), 0644);  // signed, but no program
  try {
    Run("/updateonly:center /restart:center");
    ADD_FAILURE() << "no failure";
  } catch (const HvxException& failure) {
    EXPECT_EQ(failure.Message(), "Not able to execute installer command: 'setup.run'");
    EXPECT_EQ(failure.ErrorCode(), static_cast<std::uint32_t>(EACCES));  // the exec's own reason
  }
  EXPECT_TRUE(ReadyFileKept("Kestrane"));
  EXPECT_EQ(Testing::AwaitFile(root_.File("Kestrane.restarted")), "\n");
  ASSERT_FALSE(progress_.told.empty());
  EXPECT_EQ(progress_.told.back(),
            "The update of Kestrane was not installed: Not able to execute installer command: "
            "'setup.run'");
  Pending("Kestrane", "--quiet");
  chmod((Downloads("Kestrane") + "setup.run").c_str(), 0644);
  EXPECT_EQ(Testing::ThrownMessage<HvxException>([&] { Run("/updateonly:center"); }),
            "Not able to execute installer argument command: 'setup.run --quiet'");

  std::filesystem::remove(root_.File("Kestrane.restarted"));
  WriteTextFile(Downloads("Kestrane") + Update::kUpdatesReadyFileName, "<updateReady");  // damaged
  EXPECT_EQ(
      Testing::ThrownMessage<HvxException>([&] { Run("/updateonly:center /restart:center"); }),
      "Error loading xml configuration file from param");
  EXPECT_EQ(Testing::AwaitFile(root_.File("Kestrane.restarted")), "\n");
}

TEST_F(Install, MissingProgramToRestartIsReported) {
  Pending("Orlimar", "%s");
  std::filesystem::remove(root_.File("Quorvane/Orlimar/Orlimar"));
  EXPECT_EQ(Testing::ThrownMessage<Halvex::Exceptions::HvxException>(
                [&] { Run("/updateonly:admin /restart:admin"); }),
            "Not able to restart admin");
}

TEST(UpdaterUpdater, TheScriptReplacesTheUpdaterFromTheDownloadFolder) {
  Testing::TempFolder root;
  const std::string updaterFolder = root.File("Quorvane/Updater/");
  const std::string downloads = root.File("downloads/Tollwick/");
  std::filesystem::create_directories(updaterFolder);
  std::filesystem::create_directories(downloads);
  std::filesystem::copy_file(QUORVANE_UUPDATER, updaterFolder + "uupdater.sh");
  WriteTextFile(updaterFolder + "Tollwick", "old updater");
  WriteTextFile(downloads + "Tollwick", "new updater");
  std::error_code error;
  auto run = Platform::Process::Start(
      {"/bin/sh", {updaterFolder + "uupdater.sh", downloads, "Tollwick"}, "", "/dev/null"}, error);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->Wait(), 0);
  EXPECT_EQ(ReadTextFile(updaterFolder + "Tollwick"), "new updater");
  struct stat status {};
  ASSERT_EQ(stat((updaterFolder + "Tollwick").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0755u);

  // Any other install command runs in the download folder and learns where to install.
  Testing::WriteExecutable(downloads + "install.sh",
                           "echo \"$1 into $TOLLWICK_FOLDER\" > '" + root.File("ran") + "'");
  run =
      Platform::Process::Start({"/bin/sh",
                                {updaterFolder + "uupdater.sh", downloads, "install.sh", "--quiet"},
                                "",
                                "/dev/null"},
                               error);
  ASSERT_TRUE(run);
  EXPECT_EQ(run->Wait(), 0);
  EXPECT_EQ(ReadTextFile(root.File("ran")), "--quiet into " + root.File("Quorvane/Updater") + "\n");
}

}  // namespace
