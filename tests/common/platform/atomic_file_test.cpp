#include "common/platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <thread>

#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane::Platform;
using Quorvane::Testing::TempFolder;

TEST(AtomicWrite, NewFileGetsTheUsualModeAndAReplacedFileKeepsItsMode) {
  TempFolder folder;
  const std::string fresh = folder.File("fresh");
  ASSERT_FALSE(WriteFileAtomically(fresh, "x"));
  struct stat status {};
  ASSERT_EQ(stat(fresh.c_str(), &status), 0);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);

  ASSERT_EQ(chmod(fresh.c_str(), 0600), 0);
  ASSERT_FALSE(WriteFileAtomically(fresh, "y"));
  ASSERT_EQ(stat(fresh.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST(AtomicWrite, ConcurrentReaderSeesOnlyWholeVersions) {
  TempFolder folder;
  const std::string path = folder.File("store.xml");
  const std::string versionA(256 * 1024, 'a');
  const std::string versionB(512 * 1024, 'b');
  ASSERT_FALSE(WriteFileAtomically(path, versionA));

  std::atomic<bool> done{false};
  std::atomic<int> partial{0};
  std::atomic<int> reads{0};
  std::thread reader([&] {
    while (!done) {
      std::error_code error;
      auto content = ReadWholeFile(path, error);
      if (!content || (*content != versionA && *content != versionB)) {
        ++partial;
      }
      ++reads;
    }
  });
  for (int round = 0; round < 40; ++round) {
    ASSERT_FALSE(WriteFileAtomically(path, round % 2 ? versionA : versionB));
  }
  while (reads < 10) {
    std::this_thread::yield();
  }
  done = true;
  reader.join();
  EXPECT_EQ(partial, 0);
}

}  // namespace
