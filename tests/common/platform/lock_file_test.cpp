#include "common/platform/lock_file.h"

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane::Platform;
using Quorvane::Testing::TempFolder;

// Another descriptor of the same file is refused as another process is (the single-instance and
// queue tests use processes), with "would block", until the first holder releases.
TEST(LockFile, ASecondHolderIsRefusedUntilTheFirstReleases) {
  TempFolder folder;
  const std::string path = LockFilePath(folder.Path(), "Kestrane");
  std::error_code error;
  auto first = LockFile::TryAcquire(path, error);
  ASSERT_TRUE(first) << error.message();
  EXPECT_FALSE(LockFile::TryAcquire(path, error));
  EXPECT_EQ(error, std::errc::operation_would_block);
  first->Release();
  EXPECT_TRUE(LockFile::TryAcquire(path, error));
}

}  // namespace
