// The firmware workers with harmless flashing scripts: image files, output, success test, and
// what a failure sends to the service.
#include "center/firmware/firmware_job.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "center/device/simulated_backend.h"
#include "center/firmware/pending_firmware.h"
#include "common/service_client/scramble.h"
#include "tests/center/firmware/recording_firmware_view.h"
#include "tests/support/local_service.h"
#include "tests/support/signing_key.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Firmware;
using namespace std::chrono_literals;
using Testing::ReadTextFile;
using Testing::WriteTextFile;

TEST(FlashExitCode, DigitsAfterTheLastColon) {
  EXPECT_EQ(FlashExitCode("avrdude done.\n:0\r\n"), 0u);
  EXPECT_EQ(FlashExitCode("a:b:1"), 1u);
  EXPECT_EQ(FlashExitCode("error: 1"), 0u);  // a blank first: no digits, read as 0
  EXPECT_EQ(FlashExitCode("12abc"), 12u);    // no colon: the whole text
  EXPECT_EQ(FlashExitCode(""), 0u);
  EXPECT_EQ(FlashExitCode(":99999999999999999999"), 0xFFFFFFFFu);
}

TEST(ChangeScript, Sam3x8eControllersUseTheOtherScript) {
  Device::QuorvaneDevice controller;
  std::memcpy(controller.identityReport.data() + 1, "sam3x8edue", 10);
  EXPECT_EQ(ChangeScriptFor(controller), "upx-bin.sh");
  std::memcpy(controller.identityReport.data() + 1, "sam3x8eduo", 10);
  EXPECT_EQ(ChangeScriptFor(controller), "up-bin.sh");
}

// A serial port map where the bootloader's port shows up once the snapshot was taken.
class PortAfterReset final : public SerialPortMap {
 public:
  bool EnumerateNames(std::vector<std::string>& names) override {
    if (enumerations_++ > 0 && !gone) names.push_back(kPort.name);
    return true;
  }
  std::optional<SerialPortEntry> Read(const std::string& name) override {
    return name == kPort.name ? std::optional(kPort) : std::nullopt;
  }
  inline static const SerialPortEntry kPort{"/sys/sim/ttyACM7", "/dev/ttyACM7 'odd' \"port\"",
                                            true};
  // The bootloader left: the next snapshot finds no port again.
  void Unplug() { enumerations_ = 0; }
  // Pulled for good (a cable, a bootloader that crashed).
  std::atomic<bool> gone{false};

 private:
  int enumerations_ = 0;
};

class FlashingWithScripts : public testing::Test {
 protected:
  FlashingWithScripts() {
    Testing::CopySampleServiceData(data_.Path());
    std::filesystem::create_directories(program_.File("") + "with blank's \"quote\"");
    job_.entry = Service::FirmwareEntry{};
    job_.entry->id = "qv-single-2.1";
    job_.entry->name = "QV-Single";
    job_.entry->fileName = "qv-single-2.1.bin";
    job_.entry->versionMajor = 2;
    job_.entry->versionMinor = 1;
    job_.controller.identified = true;
    std::memcpy(job_.controller.identityReport.data() + 26, "QV77 BL\0", 8);
  }

  // up-bin.sh stand-in: keeps its arguments and a copy of the image, prints what it is given.
  void Script(const std::string& body) {
    WriteTextFile(folder_ + "up-bin.sh",
                  "cp \"$2\" '" + scratch_.File("image-seen") +
                      "'\n"
                      "printf '%s\\n' \"$1\" \"$2\" > '" +
                      scratch_.File("arguments") +
                      "'\n"
                      "stat -c %a \"$(dirname \"$2\")\" \"$(dirname \"$(dirname \"$2\")\")\" > '" +
                      scratch_.File("modes") + "'\n" + body);
  }

  FirmwareServices Services() {
    return {center_, backend_,           ports_,      clock_,    log_, notifier_,
            folder_, temp_.Path() + "/", trustedKey_, timeLimit_};
  }

  Testing::TempFolder data_;
  Testing::TempFolder program_;
  Testing::TempFolder temp_;
  Testing::TempFolder scratch_;
  std::string folder_ = program_.File("") + "with blank's \"quote\"/";
  Testing::SigningKey maker_;
  std::string trustedKey_ = maker_.PublicKeyPath();
  std::optional<std::chrono::milliseconds> timeLimit_;
  Testing::LocalServiceProcess service_{data_.Path(), {}, maker_.SecretKeyPath()};
  Center::CenterService center_{service_.Endpoint()};
  Platform::ManualClock clock_;
  Device::SimulatedBackend backend_{{}, clock_};
  PortAfterReset ports_;
  Diagnostics::RecordingEventLog log_;
  Diagnostics::RecordingUserNotifier notifier_;
  Testing::RecordingFirmwareView view_;
  FirmwareJob job_;
};

TEST_F(FlashingWithScripts, ASuccessfulChangeFlashesTheScrambledImageAndLeavesNoFileBehind) {
  Script("echo flashing\necho ':0'\n");
  RunChangeFirmware(job_, Services(), view_);
  EXPECT_EQ(view_.Events().back(), "closed with ok");
  EXPECT_EQ(view_.Output(), "flashing\n:0\n");
  const std::string plain = ReadTextFile(data_.File("firmware/qv-single-2.1.bin"));
  EXPECT_EQ(job_.image, plain);
  EXPECT_EQ(ReadTextFile(scratch_.File("image-seen")), Service::ScrambleBytes(plain));
  // Port and paths with blanks and quotes arrive as they are; the image lies in a fresh folder
  // only this user may enter, gone with everything in it once the flash is over.
  const std::string arguments = ReadTextFile(scratch_.File("arguments"));
  EXPECT_EQ(arguments.rfind("/dev/ttyACM7 'odd' \"port\"\n" + temp_.Path() + "/quorvane-", 0), 0u)
      << arguments;
  EXPECT_TRUE(arguments.ends_with("/Admin/FW.bin\n")) << arguments;
  EXPECT_EQ(ReadTextFile(scratch_.File("modes")), "700\n700\n");
  EXPECT_TRUE(std::filesystem::is_empty(temp_.Path()));
}

// A folder another user made first under the old, guessable name is simply not in the way.
TEST_F(FlashingWithScripts, AFolderPlantedUnderAGuessableNameNeitherBlocksNorReceivesTheImage) {
  Script("echo ':0'\n");
  const std::string planted = temp_.Path() + "/quorvane-" + std::to_string(getuid());
  std::filesystem::create_directories(planted + "/Admin");
  chmod(planted.c_str(), 0777);
  RunChangeFirmware(job_, Services(), view_);
  EXPECT_EQ(view_.Events().back(), "closed with ok");
  EXPECT_TRUE(std::filesystem::is_empty(planted + "/Admin"));
}

TEST_F(FlashingWithScripts, AnUnscrambledBootloaderGetsThePlainImage) {
  job_.controller.identityReport[26] = 'X';
  Script("echo ':0'\n");
  RunChangeFirmware(job_, Services(), view_);
  EXPECT_EQ(ReadTextFile(scratch_.File("image-seen")),
            ReadTextFile(data_.File("firmware/qv-single-2.1.bin")));
}

// A flash fails by the code after the last colon, or by the script's own exit status.
TEST_F(FlashingWithScripts, AFailedFlashIsReportedToTheService) {
  Testing::RecordingFirmwareView exited;
  Script("echo ':0'\nexit 3\n");
  RunChangeFirmware(job_, Services(), exited);
  EXPECT_EQ(exited.Statuses().back(), "Firmware Update Failed!");
  std::filesystem::remove(data_.File("errorlogs/1.xml"));
  ports_.Unplug();
  Script("echo 'avrdude: error: programmer is not responding'\necho ':1'\n");
  RunChangeFirmware(job_, Services(), view_);
  const auto statuses = view_.Statuses();
  EXPECT_EQ(statuses.back(), "Firmware Update Failed!");
  const auto events = view_.Events();
  EXPECT_EQ(
      std::vector<std::string>(events.end() - 4, events.end()),
      (std::vector<std::string>{"range 0..10", "position 10", "ok enabled", "timer stopped"}));
  const std::string report = ReadTextFile(data_.File("errorlogs/1.xml"));
  EXPECT_NE(report.find("logName=\"Kestrane.exe\""), std::string::npos);
  EXPECT_NE(report.find("<textItem name=\"AVRDUDE OUTPUT\"><text>avrdude: error: programmer is not "
                        "responding\n:1\n"),
            std::string::npos);
  EXPECT_NE(report.find("<textItem name=\"CUpdateFirmwareDlg\"><text></text>"), std::string::npos);
  EXPECT_NE(report.find("<textItem name=\"COMMAND LINE\"><text>"), std::string::npos);
  EXPECT_NE(report.find("up-bin.sh\" /dev/ttyACM7 'odd' \"port\" \"" + temp_.Path() + "/quorvane-"),
            std::string::npos)
      << report;
  // The chosen entry's file name, not a field nothing fills.
  EXPECT_NE(report.find("<textItem name=\"Firmware Filename\"><text>qv-single-2.1.bin</text>"),
            std::string::npos);
  EXPECT_TRUE(log_.Entries().empty());  // only recovery writes it to the event log
}

TEST_F(FlashingWithScripts, OutputThatIsNoUtf8IsStillReported) {
  // Raw bytes read from a port, and a character cut in two at the end.
  Script("printf 'got \\377\\376 from port, caf\\303\\251\\n:1\\n\\303'\n");
  RunChangeFirmware(job_, Services(), view_);
  EXPECT_EQ(view_.Statuses().back(), "Firmware Update Failed!");
  const std::string report = ReadTextFile(data_.File("errorlogs/1.xml"));
  EXPECT_NE(report.find("<textItem name=\"AVRDUDE OUTPUT\"><text>got \u00ff\u00fe from port, "
                        "caf\u00e9\n:1\n\u00c3</text>"),
            std::string::npos)
      << report;
}

TEST_F(FlashingWithScripts, OutputBeyondTheBufferIsShownUpToItsSize) {
  Script("head -c 1200000 /dev/zero | tr '\\0' 'x'\necho ':0'\n");
  RunUpdateFirmware(job_, Services(), view_);
  EXPECT_EQ(view_.Output().size(), 1048574u);  // one MiB less two
}

TEST_F(FlashingWithScripts, MissingFirmwareAndAMissingScriptEndTheJobWithTheirTexts) {
  job_.entry->id = "unknown";
  RunChangeFirmware(job_, Services(), view_);
  EXPECT_EQ(view_.Statuses(),
            (std::vector<std::string>{"Could not find firmware on cloud computer!"}));

  // No up-bin.sh in the folder: nothing ran, so nothing is reported to the maker.
  Testing::RecordingFirmwareView second;
  job_.entry->id = "qv-single-2.1";
  RunChangeFirmware(job_, Services(), second);
  EXPECT_EQ(second.Statuses().back(), "Unable to create process!");
  EXPECT_FALSE(std::filesystem::exists(data_.File("errorlogs/1.xml")));
}

// Nothing the service sends is flashed unless the maker signed it as that firmware: an image
// without its signature, one changed after signing, one signed with another key, and one the
// catalogue offers as another version all end the job before the script runs, with the reason
// in the event log; whichever of the three jobs fetched it.
TEST_F(FlashingWithScripts, AFirmwareTheMakerDidNotSignAsOfferedIsNeverFlashed) {
  Script("echo ':0'\n");
  Testing::SigningKey stranger;
  const std::vector<std::function<void()>> hostile{
      [&] { service_.Behave("DownloadFirmware=unsigned"); },
      [&] { service_.Behave("DownloadFirmware=tampered"); },
      [&] { trustedKey_ = stranger.PublicKeyPath(); }, [&] { job_.entry->versionMajor = 9; }};
  const std::vector<std::function<void(Testing::RecordingFirmwareView&)>> jobs{
      [&](auto& view) { RunChangeFirmware(job_, Services(), view); },
      [&](auto& view) { RunUpdateFirmware(job_, Services(), view); },
      [&](auto& view) { RunCrashRecovery(job_, Services(), view, true); }};
  for (std::size_t attack = 0; attack < hostile.size(); ++attack) {
    for (const auto& run : jobs) {
      hostile[attack]();
      Testing::RecordingFirmwareView view;
      run(view);
      EXPECT_EQ(view.Statuses().back(), "Firmware Update Failed!") << attack;
      EXPECT_FALSE(std::filesystem::exists(scratch_.File("image-seen"))) << attack;
      ASSERT_FALSE(log_.Entries().empty());
      EXPECT_NE(log_.Entries().back().text.find(
                    "The firmware 'qv-single-2.1.bin' was not flashed: it is refused because"),
                std::string::npos)
          << log_.Entries().back().text;
      service_.Behave("DownloadFirmware=normal");
      trustedKey_ = maker_.PublicKeyPath();
      job_.entry->versionMajor = 2;
    }
  }
  EXPECT_NE(log_.Entries()[0].text.find("its signature is missing"), std::string::npos);
  EXPECT_NE(log_.Entries()[3].text.find("does not match its signature"), std::string::npos);
  EXPECT_NE(log_.Entries()[9].text.find("made for version 2.1.0.0, not the offered 9.1.0.0"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(data_.File("errorlogs/1.xml")));  // no flash ran to fail
}

// A flashing tool that never ends (avrdude spinning on a port that went away) is stopped with
// everything it started: when its port is gone for longer than the grace, or when its time is
// up. The job fails, the controller is left for crash recovery, and the reason is logged.
TEST_F(FlashingWithScripts, AFlashWhosePortWentAwayOrThatNeverEndsIsStopped) {
  Script("sleep 600 & echo $! > '" + scratch_.File("child") + "'\nwait\n");
  std::thread pull([&] {
    std::this_thread::sleep_for(300ms);
    ports_.gone = true;
  });
  RunChangeFirmware(job_, Services(), view_);
  pull.join();
  EXPECT_EQ(view_.Statuses().back(), "Firmware Update Failed!");
  EXPECT_NE(view_.Output().find(
                "The flashing tool was stopped: its port /dev/ttyACM7 'odd' \"port\" went away."),
            std::string::npos)
      << view_.Output();
  // The tool's own children were stopped too (gone, or a zombie waiting to be reaped).
  const std::string child = ReadTextFile(scratch_.File("child"));
  const std::string state = ReadTextFile("/proc/" + child.substr(0, child.find('\n')) + "/stat");
  EXPECT_TRUE(state == "<missing>" || state.find(") Z ") != std::string::npos) << state;
  EXPECT_TRUE(std::filesystem::exists(data_.File("errorlogs/1.xml")));
  ASSERT_FALSE(log_.Entries().empty());
  EXPECT_NE(log_.Entries().back().text.find("the flashing tool was stopped because its port"),
            std::string::npos);

  ports_.gone = false;
  ports_.Unplug();
  timeLimit_ = 1500ms;
  Testing::RecordingFirmwareView timed;
  RunChangeFirmware(job_, Services(), timed);
  EXPECT_EQ(timed.Statuses().back(), "Firmware Update Failed!");
  EXPECT_NE(timed.Output().find("The flashing tool was stopped: it did not end within 1 s."),
            std::string::npos)
      << timed.Output();
  // A bootloader that left the moment it answered the exit command, after the image was written
  // and verified: the tool waits on the gone port, is stopped, and the flash counts as done.
  ports_.Unplug();
  timeLimit_ = 20000ms;
  Script("echo 'avrdude: 4096 bytes of flash verified'\nsleep 600\n");
  Testing::RecordingFirmwareView verified;
  std::thread leave([&] {
    std::this_thread::sleep_for(300ms);
    ports_.gone = true;
  });
  RunChangeFirmware(job_, Services(), verified);
  leave.join();
  EXPECT_EQ(verified.Events().back(), "closed with ok") << verified.Output();
  EXPECT_NE(verified.Output().find("the image had been written and verified"), std::string::npos);
}

TEST_F(FlashingWithScripts, RecoveryWritesTheImageAsItsBoxSaysAndReportsToTheEventLogToo) {
  Script("echo ':0'\n");
  RunCrashRecovery(job_, Services(), view_, false);
  EXPECT_EQ(ReadTextFile(scratch_.File("image-seen")), job_.image);  // plain: the box was clear

  Script("echo ':2'\n");
  ports_.Unplug();
  Testing::RecordingFirmwareView second;
  RunCrashRecovery(job_, Services(), second, true);
  EXPECT_EQ(ReadTextFile(scratch_.File("image-seen")), Service::ScrambleBytes(job_.image));
  EXPECT_EQ(second.Events().front(), "caption: Recovering...");
  ASSERT_EQ(log_.Entries().size(), 1u);
  EXPECT_EQ(log_.Entries()[0].text.rfind(
                "<errorLog><errorLogItems><errorLogItem token=\"\" logName=\"Kestrane.exe\"", 0),
            0u);
}

Service::FirmwareEntry Offered(const char* id, std::uint32_t major, std::uint32_t minor,
                               std::uint32_t build = 0) {
  Service::FirmwareEntry entry;
  entry.id = id;
  entry.versionMajor = major;
  entry.versionMinor = minor;
  entry.versionBuild = build;
  return entry;
}

TEST(PendingFirmware, TheNewestOfferAboveTheRunningVersionBecomesPending) {
  Device::QuorvaneDevice row;
  row.identityReport[45] = 2;  // runs 2.1
  row.identityReport[46] = 1;
  for (const auto& entry :
       {Offered("older", 1, 9), Offered("same", 2, 1), Offered("newer", 2, 1, 5),
        Offered("newest", 3, 0), Offered("between", 2, 4)}) {
    row.Lookup().Append(entry);
  }
  Firmware::MarkPendingFirmware(row);
  EXPECT_TRUE(row.firmwareUpdateAvailable);
  ASSERT_TRUE(row.pendingFirmware.entry);
  EXPECT_EQ(row.pendingFirmware.entry->id, "newest");
  EXPECT_EQ(row.pendingFirmware.version, (std::array<std::uint32_t, 4>{3, 0, 0, 0}));

  row.Lookup().Clear();
  row.Lookup().Append(Offered("same", 2, 1));
  Firmware::MarkPendingFirmware(row);
  EXPECT_FALSE(row.firmwareUpdateAvailable);
  EXPECT_FALSE(row.pendingFirmware.entry);
}

}  // namespace
