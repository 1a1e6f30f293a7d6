#include "common/platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>

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
  EXPECT_FALSE(
      Process::Start({QUORVANE_TEST_HELPER, {"echo", "0"}, "/nonexistent/folder", ""}, error));
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

}  // namespace
