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

TEST(ElevatedStart, TheElevatedProgramWorksInTheUsersSessionNotRoots) {
  TempFolder folder;
  // A stand-in for pkexec that does what it does to the environment: root's fixed one, and the
  // caller's user id in PKEXEC_UID.
  std::filesystem::create_directory(folder.File("bin"));
  Quorvane::Testing::WriteTextFile(folder.File("bin/pkexec"),
                                   "#!/bin/sh\nexec env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root USER=root "
                                   "PKEXEC_UID=$(id -u) \"$@\"\n");
  ASSERT_EQ(chmod(folder.File("bin/pkexec").c_str(), 0755), 0);
  const char* path = std::getenv("PATH");
  const std::string savedPath = path != nullptr ? path : "";
  setenv("PATH", (folder.File("bin") + ":" + savedPath).c_str(), 1);

  std::filesystem::create_directory(folder.File("run"));
  chmod(folder.File("run").c_str(), 0700);
  const std::map<std::string, std::string> session{{"XDG_RUNTIME_DIR", folder.File("run")},
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
  const auto passed = UserSessionEnvironment(lookup, folders);

  std::error_code error;
  auto process = Process::Start(
      ElevatedSpec({"/bin/sh", {"-c", "pwd; env | sort"}, folder.Path(), folder.File("out")}, passed), error);
  setenv("PATH", savedPath.c_str(), 1);
  ASSERT_TRUE(process) << error.message();
  EXPECT_EQ(process->Wait(), 0);
  const std::string seen = ReadTextFile(folder.File("out"));
  EXPECT_EQ(seen.rfind(folder.Path() + "\n", 0), 0u) << seen;  // its working folder
  for (const std::string& expected :
       {std::string("XDG_DATA_HOME=/home/racer/.local/share\n"), "XDG_RUNTIME_DIR=" + folder.File("run") + "\n",
        std::string("HOME=/home/racer\n"), std::string("DISPLAY=:3\n"), std::string("WAYLAND_DISPLAY=wayland-1\n"),
        std::string("XAUTHORITY=/home/racer/.Xauthority\n"), std::string("LANG=de_DE.UTF-8\n"),
        "PKEXEC_UID=" + std::to_string(getuid()) + "\n"}) {
    EXPECT_NE(seen.find(expected), std::string::npos) << expected << " in\n" << seen;
  }
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
