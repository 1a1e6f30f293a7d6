// The root install helper's steps on files a test makes: what it takes from the caller, and that
// the bytes it stages are the bytes it verified. The helper itself runs as root through the real
// pkexec in the package test.
#include "updater/install_helper/install_helper.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/signing_key.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::InstallHelper;
using Testing::ReadTextFile;
using Testing::WriteTextFile;

TEST(InstallHelperInvocation, OnlyOneAbsolutePackagePathAndAPkexecUserAreTaken) {
  const auto form = [](std::vector<const char*> argv) {
    argv.insert(argv.begin(), "quorvane-install-update");
    return PackageArgument(static_cast<int>(argv.size()), argv.data());
  };
  EXPECT_EQ(form({"/home/racer/.local/share/Quorvane/Updater/Kestrane/quorvane_1.1.0_amd64.deb"}),
            "/home/racer/.local/share/Quorvane/Updater/Kestrane/quorvane_1.1.0_amd64.deb");
  for (const auto& refused :
       std::vector<std::vector<const char*>>{{},
                                             {"relative.deb"},
                                             {"/tmp/setup.run"},
                                             {"/.deb"},
                                             {"/tmp/a.deb", "--force-all"},
                                             {"/bin/sh", "-c"},
                                             {"/tmp/x\nrefused: forged.deb"}}) {
    EXPECT_FALSE(form(refused)) << refused.size();
  }
  EXPECT_EQ(CallerOf(nullptr, 0)->uid, 0u);
  EXPECT_FALSE(CallerOf(nullptr, 1000));
  EXPECT_EQ(CallerOf("0", 0)->uid, 0u);
  for (const char* invalid : {"", "1000 ", "-1", "0x10", "99999999999"}) {
    EXPECT_FALSE(CallerOf(invalid, 0)) << invalid;
  }
}

class Staging : public testing::Test {
 protected:
  Staging() {
    WriteTextFile(package_, std::string(300000, 'p') + "pedal package");
    key_.Sign(package_, "1.1.0.0");
    std::filesystem::create_directory(folder_.File("staging"));
    chmod(folder_.File("staging").c_str(), 0700);
  }

  Platform::UniqueFd Open(const std::string& path, std::string& reason) {
    return OpenCallerFile(path, Caller{getuid(), getgid()}, kMaxPackageSize, reason);
  }

  Staged Stage(const Testing::SigningKey& key) {
    std::string reason;
    auto fd = Open(package_, reason);
    EXPECT_TRUE(fd.Valid()) << reason;
    return StageVerified(fd.Get(), ReadTextFile(package_ + ".minisig"),
                         ReadTextFile(key.PublicKeyPath()), "quorvane_1.1.0_amd64.deb",
                         folder_.File("staging"));
  }

  Testing::TempFolder folder_;
  Testing::SigningKey key_;
  std::string package_ = folder_.File("quorvane_1.1.0_amd64.deb");
};

TEST_F(Staging, TheStagedCopyIsTheVerifiedBytesAndAnythingElseIsRefused) {
  const Staged staged = Stage(key_);
  ASSERT_FALSE(staged.refusal) << staged.refusal->reason;
  EXPECT_EQ(ReadTextFile(staged.path), ReadTextFile(package_));
  EXPECT_EQ(staged.signedVersion,
            (Signing::Version{1, 1, 0, 0}));  // compared with the package's own
  std::filesystem::remove(staged.path);

  // The maker's signature of another file (the updater's own program, say) is not this package's.
  key_.SignWith(package_, package_ + ".minisig", "file:Tollwick version:9.0.0.0");
  const Staged otherFile = Stage(key_);
  ASSERT_TRUE(otherFile.refusal);
  EXPECT_EQ(otherFile.refusal->status, Update::kHelperBadSignature);
  EXPECT_NE(otherFile.refusal->reason.find("made for the file 'Tollwick'"), std::string::npos);
  std::filesystem::remove(folder_.File("staging/update.deb"));
  key_.Sign(package_, "1.1.0.0");

  Testing::SigningKey stranger;
  const Staged wrongKey = Stage(stranger);
  ASSERT_TRUE(wrongKey.refusal);
  EXPECT_EQ(wrongKey.refusal->status, Update::kHelperBadSignature);

  WriteTextFile(package_, std::string(300000, 'p') + "pedal packagE");
  std::filesystem::remove(folder_.File("staging/update.deb"));
  const Staged tampered = Stage(key_);
  ASSERT_TRUE(tampered.refusal);
  EXPECT_EQ(tampered.refusal->status, Update::kHelperBadSignature);
  EXPECT_NE(tampered.refusal->reason.find("does not match"), std::string::npos);
}

TEST_F(Staging, StagingLeavesTheReserveFreeForUsers) {
  struct statvfs status {};
  ASSERT_EQ(statvfs(folder_.Path().c_str(), &status), 0);
  const std::uint64_t available = static_cast<std::uint64_t>(status.f_bavail) * status.f_frsize;
  for (const std::uint64_t size : std::vector<std::uint64_t>{
           available, available - std::min(available, kFreeSpaceReserve) + 1, 1ull << 60}) {
    const auto full = CheckFreeSpace(folder_.Path(), size);
    ASSERT_TRUE(full) << size;
    EXPECT_NE(full->find("would leave less than 512 MiB free"), std::string::npos) << *full;
  }
  if (available > kFreeSpaceReserve + (64u << 20)) {  // room to spare on this machine
    EXPECT_EQ(CheckFreeSpace(folder_.Path(), 1 << 20), std::nullopt);
  }
}

TEST_F(Staging, LinksFifosAndFilesOfOthersAreNeverOpened) {
  std::string reason;
  std::filesystem::create_symlink(package_, folder_.File("link.deb"));
  EXPECT_FALSE(Open(folder_.File("link.deb"), reason).Valid());
  EXPECT_NE(reason.find("is a link"), std::string::npos);
  ASSERT_EQ(mkfifo(folder_.File("fifo.deb").c_str(), 0600), 0);
  EXPECT_FALSE(Open(folder_.File("fifo.deb"), reason).Valid());  // and does not hang on it
  EXPECT_NE(reason.find("not a regular file"), std::string::npos);
  EXPECT_FALSE(OpenCallerFile(package_, Caller{getuid(), getgid()}, 100, reason).Valid());

  if (getuid() == 0) {
    // Opened with the caller's own rights: a root-only file is not theirs to hand in.
    chmod(folder_.Path().c_str(), 0755);
    WriteTextFile(folder_.File("secret.deb"), "root only");
    chmod(folder_.File("secret.deb").c_str(), 0600);
    EXPECT_FALSE(
        OpenCallerFile(folder_.File("secret.deb"), Caller{65534, 65534}, 100, reason).Valid());
    EXPECT_NE(reason.find("Permission denied"), std::string::npos) << reason;
    chmod(folder_.File("secret.deb").c_str(), 0644);
    EXPECT_FALSE(
        OpenCallerFile(folder_.File("secret.deb"), Caller{65534, 65534}, 100, reason).Valid());
    EXPECT_NE(reason.find("does not belong"), std::string::npos) << reason;
  }
}

TEST_F(Staging, OnlyAKeyNobodyElseCanReplaceIsTrusted) {
  std::string reason;
  const std::string key = folder_.File("staging/quorvane-update.pub");
  WriteTextFile(key, ReadTextFile(key_.PublicKeyPath()));
  chmod(key.c_str(), 0644);
  // The test's folders sit in a world-writable /tmp: the chain stops being trusted there.
  EXPECT_FALSE(IsTrustedPath(key, getuid(), reason));
  chmod(key.c_str(), 0664);
  EXPECT_FALSE(IsTrustedPath(key, getuid(), reason));
  EXPECT_NE(reason.find(key), std::string::npos) << reason;
  EXPECT_TRUE(IsTrustedPath("/usr/bin/env", 0, reason)) << reason;
}

}  // namespace
