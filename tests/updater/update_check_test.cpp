// Check and download against the stand-in service, on folders the test owns.
#include "updater/update_check.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "common/diagnostics/hvx_exception.h"
#include "common/service_client/base64.h"
#include "common/update_install/updates_ready_file.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/local_service.h"
#include "tests/support/signing_key.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tls_server.h"
#include "tests/support/updater_files.h"
#include "updater/incoming_download.h"
#include "updater/update_answer.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Updater;
using Testing::FilesStartingWith;
using Testing::ReadTextFile;
using Testing::WriteTextFile;

class UpdateCheck : public testing::Test {
 protected:
  UpdateCheck() {
    std::filesystem::create_directories(data_.File("packages"));
    std::filesystem::create_directories(root_.File("Quorvane/Kestrane"));
    std::filesystem::create_directories(root_.File("Quorvane/Updater"));
    folders_.installRoot = root_.Path();
    folders_.localAppData = root_.File("data");
    WriteTextFile(data_.File("packages/setup.run"), "#!/bin/sh\necho installing\n");
    WriteTextFile(data_.File("packages/notes.txt"), "Kestrane 2.0: smoother clutch");
    key_.TrustIn(root_.Path());
  }

  // The stand-in, signing what it offers with the key the test tree trusts.
  std::unique_ptr<Testing::LocalServiceProcess> Service(
      const std::vector<std::string>& behaviours = {}, const Testing::SigningKey* key = nullptr) {
    return std::make_unique<Testing::LocalServiceProcess>(
        data_.Path(), behaviours, (key != nullptr ? *key : key_).SecretKeyPath());
  }

  void Offer(const std::string& softwareId, const std::string& fileElements,
             const char* version = "2") {
    packages_ += "<package softwareID=\"" + softwareId + "\" major=\"" + version +
                 "\" minor=\"0\" build=\"0\" revision=\"0\">" + fileElements + "</package>";
    WriteTextFile(data_.File("packages.xml"), "<packages>" + packages_ + "</packages>");
  }

  UpdaterConfiguration Configuration(const std::vector<std::string>& urls) {
    WriteTextFile(root_.File("Tollwick.xml"),
                  Testing::UpdaterConfigurationXml(
                      urls, {"Kestrane", "Orlimar", "Tollwick"},
                      "<setting name=\"TimeoutMS\" value=\"" + timeoutMs_ + "\"/>"));
    UpdaterConfiguration configuration;
    configuration.Load(root_.File("Tollwick.xml"));
    return configuration;
  }

  void Check(const std::string& commandLine, const std::vector<std::string>& urls) {
    const UpdaterContext context{folders_, log_, clock_, progress_};
    CheckAndDownload(context, Configuration(urls), ParseCommandLine(commandLine));
  }

  std::string Downloads(const std::string& id) {
    return folders_.localAppData + "/Quorvane/Updater/" + id + "/";
  }

  Testing::TempFolder data_;
  Testing::TempFolder root_;
  Testing::SigningKey key_;
  Platform::KnownFolders folders_;
  Diagnostics::RecordingEventLog log_;
  Platform::ManualClock clock_;
  NoProgressView progress_;
  std::string packages_;
  std::string timeoutMs_ = "5000";
};

constexpr const char* kSetup =
    "<file name=\"setup.run\" mimeType=\"application/x-sh\" installCommand=\"%s --quiet\" "
    "path=\"packages/setup.run\"/>";
constexpr const char* kNotes =
    "<file name=\"notes.txt\" mimeType=\"text/plain\" installCommand=\"\" "
    "path=\"packages/notes.txt\"/>";

TEST_F(UpdateCheck, FirstServerRefusesSecondAnswersWithTwoFiles) {
  Offer("Kestrane", std::string(kSetup) + kNotes);
  auto service = Service();
  Check("/checkonly:center",
        {"http://127.0.0.1:1/Services/DefaultService.svc", service->Endpoint()});

  const std::string folder = Downloads("Kestrane");
  EXPECT_EQ(ReadTextFile(folder + "setup.run"), ReadTextFile(data_.File("packages/setup.run")));
  EXPECT_EQ(ReadTextFile(folder + "notes.txt"), "Kestrane 2.0: smoother clutch");
  // Each file's signature lies beside it; the ready file lists only what is installed.
  EXPECT_EQ(ReadTextFile(folder + "notes.txt.minisig").rfind("untrusted comment: ", 0), 0u);
  const auto record = Update::ReadUpdatesReadyFile(folder + Update::kUpdatesReadyFileName);
  EXPECT_EQ(record.version, (Platform::FileVersion{2, 0, 0, 0}));
  ASSERT_EQ(record.files.size(), 2u);
  EXPECT_EQ(record.files[0], (Update::ReadyFileEntry{"%s --quiet", "setup.run", folder}));
  EXPECT_EQ(record.files[1].fileName, "notes.txt");
  EXPECT_TRUE(log_.Entries().empty());  // the refusing server left no trace
}

// An answer slower than TimeoutMS is thrown away, and the event log says which setting held it.
TEST_F(UpdateCheck, AnAnswerBeyondTheTimeLimitIsLoggedWithTheSettingsName) {
  Offer("Kestrane", kNotes);
  auto slow = Service({"CheckForUpdateEx=slow:1500"});
  timeoutMs_ = "300";
  Check("/checkonly:center", {slow->Endpoint()});
  EXPECT_EQ(ReadTextFile(Downloads("Kestrane") + Update::kUpdatesReadyFileName), "<missing>");
  ASSERT_EQ(log_.Entries().size(), 1u);
  EXPECT_NE(log_.Entries()[0].text.find(
                "did not arrive whole within 300 ms (the updater's setting TimeoutMS)"),
            std::string::npos)
      << log_.Entries()[0].text;
}

// An answer cut half-way through a file leaves nothing behind: the next server decides, and
// without one the download that waited to install stays as it was.
TEST_F(UpdateCheck, AnAnswerCutHalfWayLeavesNothingAndTheNextServerDecides) {
  // Larger than the pieces the signature's hash takes, so the cut comes while one is hashed;
  // no two of its megabytes alike, so a piece written or hashed out of turn shows.
  std::string big(3 * 1024 * 1024, '\0');
  for (std::size_t at = 0; at < big.size(); ++at) big[at] = static_cast<char>((at >> 20) + at * 7);
  WriteTextFile(data_.File("packages/big.bin"), big);
  Offer("Kestrane",
        std::string(kNotes) +
            "<file name=\"big.bin\" mimeType=\"application/octet-stream\" installCommand=\"\" "
            "path=\"packages/big.bin\"/>");
  auto cutting = Service({"CheckForUpdateEx=cut"});
  auto answering = Service();
  Check("/checkonly:center", {cutting->Endpoint(), answering->Endpoint()});
  const std::string folder = Downloads("Kestrane");
  EXPECT_EQ(ReadTextFile(folder + "big.bin"), big);
  const std::string readyFile = ReadTextFile(folder + Update::kUpdatesReadyFileName);
  EXPECT_NE(readyFile, "<missing>");

  Check("/checkonly:center", {cutting->Endpoint()});
  EXPECT_EQ(ReadTextFile(folder + Update::kUpdatesReadyFileName), readyFile);
  EXPECT_EQ(ReadTextFile(folder + "big.bin"), big);
  EXPECT_EQ(FilesStartingWith(folders_.localAppData + "/Quorvane/Updater", ".Kestrane"),
            std::vector<std::string>{});
}

// Unsigned, changed after signing, or signed by a key nobody trusts: nothing of the answer is kept,
// the download that already waited to install stays as it was, and the event log names the file
// and the reason.
TEST_F(UpdateCheck, ADownloadWhoseSignatureFailsIsRefusedWholeAndKeepsTheEarlierOne) {
  Offer("Kestrane", std::string(kSetup) + kNotes);
  {
    auto service = Service();
    Check("/checkonly:center", {service->Endpoint()});
  }
  const std::string ready = Downloads("Kestrane") + Update::kUpdatesReadyFileName;
  const std::string pending = ReadTextFile(ready);
  WriteTextFile(data_.File("packages/notes.txt"), "Kestrane 2.0: a different note");
  Testing::SigningKey stranger;
  const struct {
    std::vector<std::string> behaviours;
    const Testing::SigningKey* key;
    const char* reason;
  } cases[] = {{{"CheckForUpdateEx=unsigned"}, nullptr, "its signature is missing"},
               {{"CheckForUpdateEx=tampered"}, nullptr, "its content does not match its signature"},
               {{}, &stranger, "it was signed with another key"}};
  for (const auto& refused : cases) {
    auto service = Service(refused.behaviours, refused.key);
    Check("/checkonly:center", {service->Endpoint()});
    EXPECT_EQ(ReadTextFile(ready), pending) << refused.reason;
    EXPECT_EQ(ReadTextFile(Downloads("Kestrane") + "notes.txt"), "Kestrane 2.0: smoother clutch");
    EXPECT_EQ(FilesStartingWith(folders_.localAppData + "/Quorvane/Updater", ".Kestrane").size(),
              0u);
    ASSERT_FALSE(log_.Entries().empty());
    const auto entry = log_.Entries().back();
    EXPECT_EQ(entry.type, Diagnostics::kEventError);
    EXPECT_NE(
        entry.text.find("the file 'setup.run' is refused because " + std::string(refused.reason)),
        std::string::npos)
        << entry.text;
  }
}

// An untrusted certificate counts as no answer, as any failing server does, but the reason is
// in the event log: else nobody could learn why updates never come.
TEST_F(UpdateCheck, AServerWithAnUntrustedCertificateIsSkippedAndTheReasonLogged) {
  Offer("Kestrane", kNotes);
  Testing::UntrustedTlsServer untrusted;
  ASSERT_NE(untrusted.Port(), 0);
  auto service = Service();
  Check("/checkonly:center", {untrusted.Endpoint(), service->Endpoint()});
  EXPECT_EQ(access((Downloads("Kestrane") + Update::kUpdatesReadyFileName).c_str(), F_OK), 0);
  ASSERT_FALSE(log_.Entries().empty());
  for (const auto& entry : log_.Entries()) {  // one for each package asked about
    EXPECT_EQ(entry.type, Diagnostics::kEventWarning);
    EXPECT_EQ(entry.text,
              "The update service at '" + untrusted.Endpoint() +
                  "' was not used: its certificate failed verification (SSL certificate "
                  "problem: self-signed certificate)");
  }
}

// The updater is always checked; Orlimar with admin and all, Kestrane with center and all.
TEST_F(UpdateCheck, EachCheckSwitchAsksForItsPackagesOnly) {
  for (const char* id : {"Kestrane", "Orlimar", "Tollwick"}) Offer(id, kNotes);
  auto service = Service();
  const std::pair<const char*, const char*> cases[] = {
      {"/checkonly:admin", "Orlimar Tollwick "},
      {"/checkonly:center", "Kestrane Tollwick "},
      {"/checkonly:all", "Kestrane Orlimar Tollwick "}};
  for (const auto& [line, expected] : cases) {
    std::filesystem::remove_all(folders_.localAppData);
    Check(line, {service->Endpoint()});
    std::string checked;
    for (const char* id : {"Kestrane", "Orlimar", "Tollwick"}) {
      if (access(Downloads(id).c_str(), F_OK) == 0) checked += std::string(id) + " ";
    }
    EXPECT_EQ(checked, expected) << line;
  }
}

TEST_F(UpdateCheck, InstalledVersionDecidesAndNoServerMeansNothing) {
  Offer("Tollwick", kNotes, "1");
  // The installed updater (this test's helper program) is 3.14.159.26535: newer than 1.0.0.0.
  std::filesystem::copy_file(QUORVANE_VERSIONED_PROGRAM, root_.File("Quorvane/Updater/Tollwick"));
  auto service = Service();
  Check("/checkonly:admin", {service->Endpoint()});
  EXPECT_NE(access(Downloads("Tollwick").c_str(), F_OK), 0);

  std::filesystem::remove(root_.File("Quorvane/Updater/Tollwick"));  // missing: 0.0.0.0
  Check("/checkonly:admin", {"http://127.0.0.1:1/x"});
  EXPECT_NE(access(Downloads("Tollwick").c_str(), F_OK), 0);
  Check("/checkonly:admin", {service->Endpoint()});
  EXPECT_EQ(access(Downloads("Tollwick").c_str(), F_OK), 0);
}

TEST_F(UpdateCheck, StaleDownloadFolderIsReplacedAndPlantedLinksAreRemovedNotFollowed) {
  Offer("Kestrane", kNotes);
  const std::string folder = Downloads("Kestrane");
  std::filesystem::create_directories(folder);
  WriteTextFile(folder + "stale.bin", "old");
  WriteTextFile(root_.File("precious.txt"), "keep me");
  std::filesystem::create_symlink(root_.File("precious.txt"), folder + "notes.txt");
  auto service = Service();
  Check("/checkonly:center", {service->Endpoint()});
  EXPECT_NE(access((folder + "stale.bin").c_str(), F_OK), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(folder + "notes.txt"));
  EXPECT_EQ(ReadTextFile(folder + "notes.txt"), "Kestrane 2.0: smoother clutch");
  EXPECT_EQ(ReadTextFile(root_.File("precious.txt")), "keep me");
}

TEST_F(UpdateCheck, HostileFileNamesAreRefusedBeforeAnythingIsWritten) {
  const std::string folder = Downloads("Kestrane");
  std::filesystem::create_directories(folder);
  WriteTextFile(folder + "earlier.bin", "an earlier download");
  for (const char* name : {"../escape.txt", "/tmp/absolute.txt", "sub/dir.txt", "..", ""}) {
    packages_.clear();
    Offer("Kestrane",
          std::string("<file name=\"") + name +
              "\" mimeType=\"text/plain\" installCommand=\"\" path=\"packages/notes.txt\"/>");
    auto service = Service();
    EXPECT_THROW(Check("/checkonly:center", {service->Endpoint()}),
                 Halvex::Exceptions::HvxArgumentException)
        << name;
    EXPECT_EQ(ReadTextFile(folder + "earlier.bin"), "an earlier download") << name;
  }
  EXPECT_NE(access(folders_.localAppData.append("/Quorvane/Updater/escape.txt").c_str(), F_OK), 0);
  EXPECT_FALSE(IsSafeDownloadName("a\\b"));
  EXPECT_TRUE(IsSafeDownloadName("Kestrane-2.0.run"));
}

// What reaches the files of an answer, as the writer is told.
struct RecordingWriter final : UpdateFileWriter {
  void Begin(const FileDescriptor& file) override { record += "[" + file.fileName + "]"; }
  void Write(FilePiece& piece) override {
    record += piece.View();
    sizes.push_back(piece.Size());
  }
  void End() override { record += "[end]"; }
  std::string record;
  std::vector<std::size_t> sizes;
};

// The items of an answer given to the sink in pieces of three characters: "read", or where the
// sink stopped the reading.
std::string Read(UpdateAnswerSink& answer, const std::vector<std::string>& items) {
  for (std::size_t index = 0; index < items.size(); ++index) {
    const std::string item = " item " + std::to_string(index);
    if (!answer.BeginItem(index)) return "stopped at" + item;
    for (std::size_t at = 0; at < items[index].size(); at += 3) {
      if (!answer.ItemText(std::string_view(items[index]).substr(at, 3)))
        return "stopped in" + item;
    }
    if (!answer.EndItem()) return "stopped at the end of" + item;
  }
  return "read";
}

TEST(UpdateAnswer, ContentsAreDecodedInPiecesUpToTheirSizeAndMalformedAnswersAreRefused) {
  using Halvex::Exceptions::HvxArgumentException;
  using Halvex::Exceptions::HvxException;
  const std::string version =
      "<r softwareID=\"Kestrane\" responseType=\"0\"><version major=\"3\" minor=\"70000\"/></r>";
  RecordingWriter writer;
  UpdateAnswerSink answer(1024, writer);
  ASSERT_EQ(Read(answer, {version, "<file fileName=\"a\" size=\"4\"/>", "Zm9v\r\nYmFy\r\n",
                          "<file fileName=\"b\"/>", ""}),
            "read");
  const UpdateHeader header = answer.Finish();
  EXPECT_EQ(header.version.major, 3);
  EXPECT_EQ(header.version.minor, static_cast<std::uint16_t>(70000));
  EXPECT_EQ(writer.record, "[a]foob[end][b][end]");  // bytes beyond the size are not written

  const auto refusal = [](const std::vector<std::string>& items) {
    RecordingWriter ignored;
    UpdateAnswerSink refused(1024, ignored);
    Read(refused, items);
    return Testing::ThrownMessage<HvxException>([&] { refused.Finish(); });
  };
  EXPECT_EQ(refusal({}), "Error loading xml configuration file from param");
  EXPECT_EQ(refusal({version, "<file fileName=\"a\" size=\"1\"/>"}),
            "Error loading xml configuration file from param");
  EXPECT_EQ(refusal({version, "<file fileName=\"a\" size=\"1\"/>", "!!"}),
            "CryptStringToBinary failed");
  EXPECT_EQ(refusal({version, "<file fileName=\"a\" size=\"9\"/>", "Zm9v"}),
            "Could not write file for update file");
  EXPECT_EQ(refusal({version, "no document"}), "Error loading xml configuration file from param");

  // Documents beyond the limit stop the reading without an error of their own, as an oversized
  // answer always did; a content of any size does not count.
  const std::string descriptor = "<file fileName=\"a\" size=\"300\"/>";
  RecordingWriter large;
  UpdateAnswerSink limited(version.size() + descriptor.size(), large);
  EXPECT_EQ(Read(limited, {version, descriptor, std::string(400, 'A')}), "read");
  EXPECT_EQ(large.record.size(), std::string("[a][end]").size() + 300);
  UpdateAnswerSink tooSmall(version.size() + descriptor.size() - 1, large);
  EXPECT_EQ(Read(tooSmall, {version, descriptor}), "stopped in item 1");
  EXPECT_NO_THROW(tooSmall.RethrowFailure());
  // Content beyond its descriptor's size is the answer's own: an answer that never ends stops
  // at the limit, not at its end.
  UpdateAnswerSink endless(version.size() + descriptor.size() + 10, large);
  EXPECT_EQ(Read(endless, {version, descriptor, std::string(440, 'A')}),
            "stopped at the end of item 2");
  UpdateAnswerSink neverEnding(version.size() + descriptor.size() + 10, large);
  EXPECT_EQ(Read(neverEnding, {version, descriptor, std::string(2'000'000, 'A')}),
            "stopped in item 2");

  // Every piece of a file but its last is whole, so that the disk can take each directly.
  std::string file(FilePiece::kBytes * 5 / 2 + 3, '\0');
  for (std::size_t at = 0; at < file.size(); ++at)
    file[at] = static_cast<char>(at * 7 + (at >> 12));
  RecordingWriter pieces;
  UpdateAnswerSink whole(1024, pieces);
  ASSERT_EQ(
      Read(whole, {version, "<file fileName=\"a\" size=\"" + std::to_string(file.size()) + "\"/>",
                   Service::Base64Encode(file)}),
      "read");
  EXPECT_EQ(pieces.record, "[a]" + file + "[end]");
  EXPECT_EQ(pieces.sizes, (std::vector<std::size_t>{FilePiece::kBytes, FilePiece::kBytes,
                                                    file.size() - 2 * FilePiece::kBytes}));
}

TEST_F(UpdateCheck, ADescriptorClaimingMoreThanTheContentIsAFailedWrite) {
  Offer("Kestrane",
        "<file name=\"notes.txt\" mimeType=\"text/plain\" installCommand=\"\" "
        "path=\"packages/notes.txt\" size=\"100000\"/>");
  auto service = Service();
  EXPECT_EQ(Testing::ThrownMessage<Halvex::Exceptions::HvxException>(
                [&] { Check("/checkonly:center", {service->Endpoint()}); }),
            "Could not write file for update file");
  EXPECT_NE(access((Downloads("Kestrane") + Update::kUpdatesReadyFileName).c_str(), F_OK), 0);
}

// The report carries the error of the call that failed, not whatever errno held later.
TEST_F(UpdateCheck, AFolderThatCannotBeMadeReportsTheSystemsReason) {
  Offer("Kestrane", kNotes);
  std::filesystem::create_directories(folders_.localAppData + "/Quorvane");
  WriteTextFile(folders_.localAppData + "/Quorvane/Updater", "a file where the folder belongs");
  auto service = Service();
  try {
    Check("/checkonly:center", {service->Endpoint()});
    ADD_FAILURE();
  } catch (const Halvex::Exceptions::HvxException& error) {
    EXPECT_EQ(error.ErrorCode(), static_cast<std::uint32_t>(ENOTDIR)) << error.Message();
  }
}

// The request document as the updater builds it, attributes in their order.
TEST(UpdateRequest, CheckForUpdateRequestDocument) {
  PackageEntry package;
  package.softwareId = "Kestrane";
  package.softwareUpdateType = 0;
  EXPECT_EQ(BuildCheckForUpdateRequest(package, Platform::FileVersion{1, 2, 300, 65535}),
            "<checkForUpdateRequest softwareUpdateType=\"0\" requestType=\"1\" "
            "softwareID=\"Kestrane\"><version major=\"1\" minor=\"2\" build=\"300\" "
            "revision=\"65535\"/></checkForUpdateRequest>");
}

// Each file's bytes and digest, whatever came before (a file given up half-way while its pieces
// are still being hashed and written) and whatever the disk takes directly: a piece off its blocks
// sends the rest of the file through the page cache. A write that fails is raised, not lost.
TEST(IncomingDownload, EachFileIsWrittenWholeWithItsDigestAndAFailedWriteIsRaised) {
  Testing::TempFolder folder;
  std::string file(5 * FilePiece::kBytes + 3 * FilePiece::kAlignment + 17, '\0');
  for (std::size_t at = 0; at < file.size(); ++at)
    file[at] = static_cast<char>(at * 13 + (at >> 16));
  Signing::FileDigest expected;
  expected.Update(file);
  const auto digest = expected.Finish();
  FilePiece piece(FilePiece::kCapacity);
  const auto write = [&](IncomingDownload& download, std::size_t from, std::size_t size) {
    piece.Resize(size);
    std::copy_n(file.data() + from, size, piece.Data());
    download.Write(piece);
  };
  const auto descriptor = [&](const char* name) {
    return FileDescriptor{name, static_cast<std::uint32_t>(file.size()), "", ""};
  };
  for (const std::size_t offBlocks : {std::size_t{0}, std::size_t{7}}) {
    IncomingDownload download(folder.File("incoming/"), 1024);
    download.Begin(descriptor("given-up.bin"));
    for (int count = 0; count < 6; ++count) write(download, 0, FilePiece::kBytes);
    download.Discard();
    download.Begin(descriptor("update.bin"));
    std::size_t at = 0;
    if (offBlocks != 0) {
      write(download, 0, offBlocks);
      at = offBlocks;
    }
    for (; at < file.size(); at += FilePiece::kBytes)
      write(download, at, std::min(FilePiece::kBytes, file.size() - at));
    download.End();
    EXPECT_EQ(Testing::ReadTextFile(folder.File("incoming/update.bin")), file) << offBlocks;
    ASSERT_EQ(download.Files().size(), 1u);
    EXPECT_EQ(download.Files()[0].digest, digest) << offBlocks;
  }
  // The disk fills up at the last piece: the step after it fails with the write's reason.
  IncomingDownload download(folder.File("incoming/"), 1024);
  download.Begin(descriptor("update.bin"));
  const Testing::FileSizeLimit fullDisk(5 * FilePiece::kBytes);
  for (std::size_t at = 0; at < file.size(); at += FilePiece::kBytes) {
    write(download, at, std::min(FilePiece::kBytes, file.size() - at));
  }
  try {
    download.End();
    ADD_FAILURE() << "a failed write was not raised";
  } catch (const Halvex::Exceptions::HvxException& failure) {
    EXPECT_EQ(failure.ErrorCode(), static_cast<std::uint32_t>(EFBIG));
  }
}

// What a service claims is checked against the download limit before any space is reserved, for
// the files of a download together.
TEST(IncomingDownload, ClaimsBeyondTheDownloadLimitAreRefusedBeforeAnythingIsReserved) {
  Testing::TempFolder folder;
  IncomingDownload download(folder.File("incoming/"), 2);
  EXPECT_NE(Testing::ThrownMessage<Halvex::Exceptions::HvxException>([&] {
              download.Begin({"sparse.deb", 0xFFFFFFFFu, "", ""});
            })
                .find("of 4294967295 bytes takes the download beyond its limit of 2 MB (the "
                      "updater's setting "
                      "DownloadLimitMB)"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.File("incoming")));
  download.Discard();
  download.Begin({"first.deb", 1u << 20, "", ""});
  download.End();
  EXPECT_NE(Testing::ThrownMessage<Halvex::Exceptions::HvxException>([&] {
              download.Begin({"second.deb", (1u << 20) + 1, "", ""});
            }).find("second.deb"),
            std::string::npos);

  // A claim beyond 32 bits is read whole: never wrapped to a size the limit lets through.
  IncomingDownload large(folder.File("large/"), 1024);
  UpdateAnswerSink answer(1024, large);
  Read(answer, {"<r softwareID=\"Kestrane\" responseType=\"1\"><version major=\"2\"/></r>",
                "<file fileName=\"big.deb\" size=\"5368709120\"/>", "Zm9v"});
  EXPECT_NE(Testing::ThrownMessage<Halvex::Exceptions::HvxException>([&] {
              answer.Finish();
            }).find("of 5368709120 bytes"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder.File("large")));
}

}  // namespace
