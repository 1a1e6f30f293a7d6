#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "common/platform/known_folders.h"
#include "common/platform/process.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane::Platform;
using Quorvane::Testing::ReadTextFile;
using Quorvane::Testing::TempFolder;

TEST(ProcessStart, ArgumentsArriveUnchangedAndBothStreamsLandInTheOutputFile) {
  TempFolder folder;
  ProcessSpec spec;
  spec.program = QUORVANE_TEST_HELPER;
  spec.arguments = {"echo", "0", "with blanks", "\"quoted\"", "it's", "$HOME;`x`|&", ""};
  spec.workingDirectory = folder.Path();
  spec.outputFile = folder.File("out.txt");

  std::error_code error;
  auto process = Process::Start(spec, error);
  ASSERT_TRUE(process) << error.message();
  EXPECT_EQ(process->Wait(), 0);
  EXPECT_EQ(ReadTextFile(spec.outputFile),
            "cwd=" + folder.Path() +
                "\narg=[with blanks]\narg=[\"quoted\"]\narg=[it's]\narg=[$HOME;`x`|&]\narg=[]\n"
                "to standard error\n");
}

TEST(ProcessStart, ExitCodesAndSignalsComeBack) {
  std::error_code error;
  auto failing = Process::Start({QUORVANE_TEST_HELPER, {"echo", "3"}, "", "/dev/null"}, error);
  ASSERT_TRUE(failing);
  EXPECT_EQ(failing->Wait(), 3);
  EXPECT_EQ(failing->Wait(), 3);  // asking again gives the same answer

  TempFolder folder;
  auto sleeper = Process::Start({"sleep", {"30"}, "", ""}, error);
  ASSERT_TRUE(sleeper) << error.message();
  EXPECT_EQ(sleeper->WaitFor(std::chrono::milliseconds(50)), std::nullopt);
  sleeper->Signal(SIGKILL);
  EXPECT_EQ(sleeper->WaitFor(std::chrono::seconds(10)), 128 + SIGKILL);
}

TEST(ProcessStart, MissingProgramOrFolderIsAnErrorNotAProcess) {
  std::error_code error;
  EXPECT_FALSE(Process::Start({"/nonexistent/program", {}, "", ""}, error));
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
  EXPECT_FALSE(Process::Start({QUORVANE_TEST_HELPER, {"echo", "0"}, "/nonexistent/folder", ""}, error));
  EXPECT_TRUE(error);
  EXPECT_FALSE(
      Process::Start({QUORVANE_TEST_HELPER, {"echo", "0"}, "", "/nonexistent/folder/out"}, error));
  EXPECT_TRUE(error);
}

TEST(ProcessStart, ChildHasNoStandardInput) {
  TempFolder folder;
  std::error_code error;
  auto process = Process::Start({"cat", {}, "", folder.File("out")}, error);
  ASSERT_TRUE(process);
  // cat ends at once on an empty input instead of waiting for a terminal.
  EXPECT_EQ(process->WaitFor(std::chrono::seconds(10)), 0);
}

TEST(ElevatedStart, WritableFolderStartsDirectlyWithoutPkexec) {
  TempFolder folder;
  std::error_code error;
  auto process = StartElevated(
      {QUORVANE_TEST_HELPER, {"echo", "0", "x"}, folder.Path(), folder.File("out")}, folder.Path(), {},
      error);
  ASSERT_TRUE(process) << error.message();
  EXPECT_EQ(process->Wait(), 0);
  EXPECT_EQ(ReadTextFile(folder.File("out")),
            "cwd=" + folder.Path() + "\narg=[x]\nto standard error\n");
}

// A stand-in for pkexec on the PATH that does what pkexec does to the environment: root's fixed
// one, and the caller's user id in PKEXEC_UID. And a user's session to pass through it.
class ElevatedSession : public testing::Test {
 protected:
  ElevatedSession() {
    std::filesystem::create_directory(folder_.File("bin"));
    Quorvane::Testing::WriteTextFile(folder_.File("bin/pkexec"),
                                     "#!/bin/sh\nexec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root USER=root "
                                     "PKEXEC_UID=$(id -u) \"$@\"\n");
    chmod(folder_.File("bin/pkexec").c_str(), 0755);
    const char* path = std::getenv("PATH");
    savedPath_ = path != nullptr ? path : "";
    setenv("PATH", (folder_.File("bin") + ":" + savedPath_).c_str(), 1);
    std::filesystem::create_directory(folder_.File("run"));
    chmod(folder_.File("run").c_str(), 0700);
  }
  ~ElevatedSession() override { setenv("PATH", savedPath_.c_str(), 1); }

  PassedEnvironment Session() const {
    const std::map<std::string, std::string> session{{"XDG_RUNTIME_DIR", folder_.File("run")},
                                                     {"HOME", "/home/racer"},
                                                     {"DISPLAY", ":3"},
                                                     {"WAYLAND_DISPLAY", "wayland-1"},
                                                     {"XAUTHORITY", "/home/racer/.Xauthority"},
                                                     {"LANG", "de_DE.UTF-8"}};
    const EnvironmentLookup lookup = [&](std::string_view name) -> std::optional<std::string> {
      const auto found = session.find(std::string(name));
      return found == session.end() ? std::nullopt : std::optional(found->second);
    };
    KnownFolders folders;
    folders.localAppData = "/home/racer/.local/share";
    return UserSessionEnvironment(lookup, folders);
  }

  // What the elevated program saw: its working folder, then its environment.
  std::string RunElevated(const ProcessSpec& spec, const std::string& launcher = {}) {
    std::error_code error;
    auto process = Process::Start(ElevatedSpec(spec, Session(), launcher), error);
    EXPECT_TRUE(process) << error.message();
    if (!process) return {};
    lastExit_ = process->Wait();
    return ReadTextFile(spec.outputFile);
  }

  void ExpectTheUsersSession(const std::string& seen) {
    EXPECT_EQ(seen.rfind(folder_.Path() + "\n", 0), 0u) << seen;  // its working folder
    for (const std::string& expected :
         {std::string("XDG_DATA_HOME=/home/racer/.local/share\n"), "XDG_RUNTIME_DIR=" + folder_.File("run") + "\n",
          std::string("HOME=/home/racer\n"), std::string("DISPLAY=:3\n"), std::string("WAYLAND_DISPLAY=wayland-1\n"),
          std::string("XAUTHORITY=/home/racer/.Xauthority\n"), std::string("LANG=de_DE.UTF-8\n"),
          "PKEXEC_UID=" + std::to_string(getuid()) + "\n"}) {
      EXPECT_NE(seen.find(expected), std::string::npos) << expected << " in\n" << seen;
    }
  }

  TempFolder folder_;
  std::string savedPath_;
  std::optional<int> lastExit_;
};

TEST_F(ElevatedSession, TheElevatedProgramWorksInTheUsersSessionNotRoots) {
  const std::string seen = RunElevated({"/bin/sh", {"-c", "pwd; env | sort"}, folder_.Path(), folder_.File("out")});
  EXPECT_EQ(lastExit_, 0);
  ExpectTheUsersSession(seen);
}

// The launcher the polkit action names passes the session on, but starts nothing but the
// updater beside it (or the script that replaces the updater), and sets no other variable.
TEST_F(ElevatedSession, TheShippedLauncherStartsOnlyTheUpdaterBesideIt) {
  const std::string updater = std::filesystem::canonical(folder_.Path()).string() + "/updater/";
  std::filesystem::create_directory(updater);
  std::filesystem::copy_file(QUORVANE_ELEVATED_LAUNCHER, updater + "quorvane-elevated");
  Quorvane::Testing::WriteTextFile(updater + "Tollwick", "#!/bin/sh\npwd; env | sort\n");
  chmod((updater + "Tollwick").c_str(), 0755);
  const std::string launcher = updater + "quorvane-elevated";

  ExpectTheUsersSession(RunElevated({updater + "Tollwick", {}, folder_.Path(), folder_.File("out")}, launcher));
  EXPECT_EQ(lastExit_, 0);

  for (const ProcessSpec& refused :
       {ProcessSpec{"/bin/sh", {"-c", "touch " + folder_.File("ran")}, folder_.Path(), folder_.File("refused")},
        ProcessSpec{"/usr/bin/env", {updater + "Tollwick"}, folder_.Path(), folder_.File("refused")}}) {
    EXPECT_EQ(RunElevated(refused, launcher).rfind("quorvane-elevated: refusing", 0), 0u);
    EXPECT_EQ(lastExit_, 126);
  }
  EXPECT_FALSE(std::filesystem::exists(folder_.File("ran")));
}

TEST(OpenWithSystem, ExecutableTargetIsStartedDirectly) {
  TempFolder folder;
  const std::string script = folder.File("marker.sh");
  Quorvane::Testing::WriteTextFile(script, "#!/bin/sh\ntouch started\n");
  ASSERT_EQ(chmod(script.c_str(), 0755), 0);
  ASSERT_FALSE(OpenWithSystem(script, folder.Path()));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (access(folder.File("started").c_str(), F_OK) != 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(access(folder.File("started").c_str(), F_OK), 0);
}

}  // namespace
