#include "common/platform/lock_file.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <future>
#include <thread>

#include "common/platform/process.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane::Platform;
using Quorvane::Testing::ReadTextFile;
using Quorvane::Testing::TempFolder;

// Starts the helper holding the lock and waits until it says whether it got it.
std::string StartHolder(const std::string& lockPath, const std::string& outputPath,
                        std::optional<Process>& holder) {
  std::error_code error;
  holder = Process::Start({QUORVANE_TEST_HELPER, {"hold-lock", lockPath}, "", outputPath}, error);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::string said = ReadTextFile(outputPath);
    if (said.find('\n') != std::string::npos) {
      return said;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return "timeout";
}

TEST(LockFile, SecondHolderIsRefusedUntilTheFirstReleases) {
  TempFolder folder;
  const std::string path = LockFilePath(folder.Path(), "Kestrane");
  EXPECT_EQ(path, folder.Path() + "/Kestrane.lock");
  std::error_code error;
  auto first = LockFile::TryAcquire(path, error);
  ASSERT_TRUE(first) << error.message();

  std::optional<Process> other;
  EXPECT_EQ(StartHolder(path, folder.File("other.out"), other), "refused\n");
  other->Signal(SIGKILL);

  first->Release();
  auto second = LockFile::TryAcquire(path, error);
  EXPECT_TRUE(second);
}

TEST(LockFile, LockIsFreeAfterTheHolderIsKilled) {
  TempFolder folder;
  const std::string path = LockFilePath(folder.Path(), "Tollwick.Mutex");
  std::optional<Process> holder;
  ASSERT_EQ(StartHolder(path, folder.File("holder.out"), holder), "locked\n");

  std::error_code error;
  EXPECT_FALSE(LockFile::TryAcquire(path, error));
  EXPECT_EQ(error, std::errc::operation_would_block);

  // A blocking waiter gets the lock as soon as the holder dies.
  auto waiter = std::async(std::launch::async, [&] {
    std::error_code waitError;
    return LockFile::Acquire(path, waitError).has_value();
  });
  EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  holder->Signal(SIGKILL);
  holder->Wait();
  ASSERT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(waiter.get());
}

}  // namespace
