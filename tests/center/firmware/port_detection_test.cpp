// Bootloader port detection on a scripted serial port map and a manual clock.
#include <gtest/gtest.h>

#include <functional>

#include "center/device/simulated_backend.h"
#include "center/firmware/port_detection.h"
#include "tests/center/firmware/recording_firmware_view.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Firmware;
using namespace std::chrono_literals;

// A map whose entries depend on the time: each entry is listed from its time on, until its end.
class ScriptedMap final : public SerialPortMap {
 public:
  explicit ScriptedMap(Platform::Clock& clock) : clock_(clock), start_(clock.Now()) {}
  void Add(SerialPortEntry entry, std::chrono::milliseconds from = 0ms, std::chrono::milliseconds until = 1h) {
    entries_.push_back({entry, from, until});
  }
  bool EnumerateNames(std::vector<std::string>& names) override {
    ++enumerations;
    const auto now = clock_.Now() - start_;
    for (const auto& listed : entries_) {
      if (now >= listed.from && now < listed.until) names.push_back(listed.entry.name);
    }
    return true;
  }
  std::optional<SerialPortEntry> Read(const std::string& name) override {
    for (const auto& listed : entries_) {
      if (listed.entry.name == name) return listed.entry;
    }
    return std::nullopt;
  }
  int enumerations = 0;

 private:
  struct Listed {
    SerialPortEntry entry;
    std::chrono::milliseconds from;
    std::chrono::milliseconds until;
  };
  Platform::Clock& clock_;
  Platform::Clock::TimePoint start_;
  std::vector<Listed> entries_;
};

class Detection : public testing::Test {
 protected:
  std::optional<std::string> AfterReset() {
    return WaitForBootloaderPort({map_, clock_, view_}, TakePortSnapshot(map_), backend_, "sim/none");
  }
  std::optional<std::string> Manual() { return WaitForManualResetPort({map_, clock_, view_}, TakePortSnapshot(map_)); }
  double Seconds() { return std::chrono::duration<double>(clock_.Now() - start_).count(); }

  Platform::ManualClock clock_;
  Platform::Clock::TimePoint start_ = clock_.Now();
  ScriptedMap map_{clock_};
  Testing::RecordingFirmwareView view_;
  Device::SimulatedBackend backend_{{}, clock_};
};

const SerialPortEntry kBootloader{"/sys/devices/usb1/1-1/1-1:1.0/tty/ttyACM0", "/dev/ttyACM0", true};
const SerialPortEntry kLegacy{"/sys/devices/platform/serial8250/tty/ttyS0", "/dev/ttyS0", false};
const SerialPortEntry kOtherBoard{"/sys/devices/usb1/1-2/1-2:1.0/tty/ttyACM1", "/dev/ttyACM1", true};

TEST_F(Detection, NothingAppearsInTenSeconds) {
  map_.Add(kLegacy);
  EXPECT_EQ(AfterReset(), std::nullopt);
  EXPECT_NEAR(Seconds(), 10.2, 0.01);  // 34 passes of 300 ms
  EXPECT_EQ(view_.Statuses(), (std::vector<std::string>{"Step 2 of 2: Updating Firmware...", kNoPortDetected}));
  // One step at the start, one per new whole second, one at the end.
  EXPECT_EQ(view_.Steps(), 1 + 10 + 1);
}

TEST_F(Detection, AUsbPortListedBeforeTheResetBelongsToAnotherDeviceAndIsNeverTaken) {
  map_.Add(kOtherBoard);
  EXPECT_EQ(AfterReset(), std::nullopt);
  EXPECT_NEAR(Seconds(), 10.2, 0.01);

  // With the other board listed after it in every pass, the new port is still the one taken.
  Testing::RecordingFirmwareView second;
  map_.Add(kBootloader, 11000ms);
  map_.Add(kOtherBoard);
  EXPECT_EQ(WaitForBootloaderPort({map_, clock_, second}, TakePortSnapshot(map_), backend_, "sim/none"),
            "/dev/ttyACM0");
}

TEST_F(Detection, APortThatWentAwayAndCameBackIsTaken) {
  map_.Add(kBootloader, 0ms, 900ms);  // the controller's own port leaves at the reset...
  map_.Add(kBootloader, 1500ms);      // ...and its bootloader comes back on the same name
  EXPECT_EQ(AfterReset(), "/dev/ttyACM0");
  EXPECT_NEAR(Seconds(), 1.5, 0.01);
}

TEST_F(Detection, APortFoundAfterTenSecondsFails) {
  map_.Add(kBootloader, 10100ms);  // first seen in the pass at 10.2 s
  EXPECT_EQ(AfterReset(), std::nullopt);
}

TEST_F(Detection, APortFoundJustBeforeTenSecondsIsTaken) {
  map_.Add(kBootloader, 9500ms);
  EXPECT_EQ(AfterReset(), "/dev/ttyACM0");
  EXPECT_NEAR(Seconds(), 9.6, 0.01);
}

TEST_F(Detection, TwoPortsInOnePassTheLastWinsAndLowerCaseNamesPass) {
  map_.Add(kLegacy);
  map_.Add({"/sys/a/ttyACM3", "/dev/ttyACM3", true}, 600ms);
  map_.Add({"/sys/b/ttyACM4", "/DEV/TTYACM4", true}, 600ms);
  EXPECT_EQ(AfterReset(), "/DEV/TTYACM4");
  EXPECT_TRUE(IsSerialPortName("/dev/ttyacm0"));
  EXPECT_FALSE(IsSerialPortName("/dev/pts/3"));
  EXPECT_FALSE(IsSerialPortName("COM3"));
  EXPECT_FALSE(IsSerialPortName("ttyACM0"));  // a port is a path
  // A link made where the user may write (the simulated bootloader's, in the runtime folder).
  EXPECT_TRUE(IsSerialPortName("/run/user/1000/ttyQVSIM42-0"));
}

TEST_F(Detection, AUsbPortWithANameThatIsNoPortFails) {
  map_.Add({"/sys/c/ttyGS0", "/dev/pts/7", true}, 300ms);
  EXPECT_EQ(AfterReset(), std::nullopt);
  EXPECT_EQ(view_.Statuses().back(), kNoPortDetected);
}

TEST_F(Detection, ManualResetCountsDownAndEndsWhenANameAppears) {
  map_.Add(kLegacy);
  map_.Add(kBootloader, 1500ms);
  EXPECT_EQ(Manual(), "/dev/ttyACM0");
  const auto statuses = view_.Statuses();
  EXPECT_EQ(statuses.front(), "Perform Hardware Reset on Crashed Device NOW!... 20 seconds left...");
  EXPECT_EQ(statuses.back(), "Recovering Device... Working...");
  EXPECT_NEAR(Seconds(), 1.5, 0.01);
}

TEST_F(Detection, ANewNonUsbPortEndsTheManualWaitButIsNoCandidate) {
  map_.Add(kLegacy, 600ms);
  map_.Add({"/sys/d/ttyS1", "/dev/ttyS1", false});
  EXPECT_EQ(Manual(), std::nullopt);
  EXPECT_NEAR(Seconds(), 0.6, 0.01);
  EXPECT_EQ(view_.Statuses().back(), kNoPortDetected);
}

TEST_F(Detection, ManualWaitRunsOutWithTheLastCandidateOrNone) {
  EXPECT_EQ(Manual(), std::nullopt);  // nothing listed at all
  EXPECT_NEAR(Seconds(), 20.1, 0.01);
  const auto statuses = view_.Statuses();
  // With 1.5 s left the number is 1 and the ending still plural; below 1 s it is singular.
  EXPECT_NE(std::find(statuses.begin(), statuses.end(),
                      "Perform Hardware Reset on Crashed Device NOW!... 1 seconds left..."),
            statuses.end());
  EXPECT_EQ(statuses[statuses.size() - 2], "Perform Hardware Reset on Crashed Device NOW!... 0 second left...");
  EXPECT_EQ(statuses.back(), kNoPortDetected);

  // A USB port that was there before the wait is another device's: never flashed.
  Testing::RecordingFirmwareView second;
  map_.Add(kOtherBoard);
  EXPECT_EQ(WaitForManualResetPort({map_, clock_, second}, TakePortSnapshot(map_)), std::nullopt);
  EXPECT_EQ(second.Statuses().back(), kNoPortDetected);
}

TEST(UdevPorts, ATtyUdevIsStillSettingUpIsNoPortYet) {
  EXPECT_EQ(TtyEntry("/sys/x/ttyACM0", "/dev/ttyACM0", false, true), std::nullopt);
  EXPECT_EQ(TtyEntry("/sys/x/ttyACM0", nullptr, true, true), std::nullopt);
  EXPECT_EQ(TtyEntry("/sys/x/ttyACM0", "/dev/ttyACM0", true, true),
            (SerialPortEntry{"/sys/x/ttyACM0", "/dev/ttyACM0", true}));
}

TEST(RememberUsbSerialPort, KnownEntriesStayAndOnlyUsbPortsJoin) {
  std::vector<SerialPortEntry> known;
  EXPECT_FALSE(RememberUsbSerialPort(known, kLegacy));
  EXPECT_TRUE(RememberUsbSerialPort(known, kBootloader));
  EXPECT_TRUE(RememberUsbSerialPort(known, kBootloader));
  EXPECT_EQ(known.size(), 1u);
}

TEST(RegistryReaders, ArgumentChecksAndResultCodes) {
  SimulatedSerialPortMap map;
  std::vector<std::string> names{"stale"};
  EXPECT_EQ(EnumerateRegistryValueNames(map, "", "", &names), static_cast<std::int32_t>(0x80070057u));
  EXPECT_EQ(EnumerateRegistryValueNames(map, kSerialPortMapKey, "", nullptr), static_cast<std::int32_t>(0x80070057u));
  EXPECT_EQ(EnumerateRegistryValueNames(map, kSerialPortMapKey, "", &names), 0);
  EXPECT_TRUE(names.empty());
  SerialPortEntry entry;
  EXPECT_EQ(ReadRegistryString(map, kSerialPortMapKey, "", "missing", &entry), static_cast<std::int32_t>(0x80004005u));
}

}  // namespace
