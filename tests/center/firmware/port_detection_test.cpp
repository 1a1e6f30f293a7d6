// Bootloader port detection on a scripted serial port map and a manual clock.
#include "center/firmware/port_detection.h"

#include <gtest/gtest.h>

#include "center/device/simulated_backend.h"
#include "tests/center/firmware/recording_firmware_view.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Firmware;
using namespace std::chrono_literals;

struct Listing {
  SerialPortEntry entry;
  std::chrono::milliseconds from = 0ms, until = 1h;
};

// A map whose entries depend on the time: each entry is listed from its time on, until its end.
class ScriptedMap final : public SerialPortMap {
 public:
  ScriptedMap(Platform::Clock& clock, std::vector<Listing> listings)
      : clock_(clock), start_(clock.Now()), listings_(std::move(listings)) {}
  bool EnumerateNames(std::vector<std::string>& names) override {
    const auto now = clock_.Now() - start_;
    for (const auto& listed : listings_) {
      if (now >= listed.from && now < listed.until) names.push_back(listed.entry.name);
    }
    return true;
  }
  std::optional<SerialPortEntry> Read(const std::string& name) override {
    for (const auto& listed : listings_) {
      if (listed.entry.name == name) return listed.entry;
    }
    return std::nullopt;
  }

 private:
  Platform::Clock& clock_;
  Platform::Clock::TimePoint start_;
  std::vector<Listing> listings_;
};

const SerialPortEntry kBootloader{"/sys/devices/usb1/1-1/1-1:1.0/tty/ttyACM0", "/dev/ttyACM0",
                                  true};
const SerialPortEntry kLegacy{"/sys/devices/platform/serial8250/tty/ttyS0", "/dev/ttyS0", false};
const SerialPortEntry kOtherBoard{"/sys/devices/usb1/1-2/1-2:1.0/tty/ttyACM1", "/dev/ttyACM1",
                                  true};

constexpr const char* kNoPort = "No Controller Reset or COM port detected!";

// One wait for the bootloader's port over scripted listings, on a clock of its own.
struct Scene {
  explicit Scene(const std::vector<Listing>& listings) : map(clock, listings) {}
  std::optional<std::string> AfterReset() {
    return WaitForBootloaderPort({map, clock, view}, TakePortSnapshot(map), backend, "sim/none");
  }
  std::optional<std::string> Manual() {
    return WaitForManualResetPort({map, clock, view}, TakePortSnapshot(map));
  }
  double Seconds() { return std::chrono::duration<double>(clock.Now() - start).count(); }

  Platform::ManualClock clock;
  Platform::Clock::TimePoint start = clock.Now();
  ScriptedMap map;
  Testing::RecordingFirmwareView view;
  Device::SimulatedBackend backend{{}, clock};
};

// After the reset, passes run every 300 ms for 10 s; a USB serial port with a port's name that was
// not listed before the reset is the bootloader, the last of a pass winning.
TEST(Detection, AfterTheResetOnlyANewUsbPortWithinTenSecondsIsTaken) {
  const struct {
    const char* what;
    std::vector<Listing> listings;
    std::optional<std::string> port;
    double seconds;
  } cases[] = {
      {"nothing new: 34 passes", {{kLegacy}}, std::nullopt, 10.2},
      {"another device's port, listed before", {{kOtherBoard}}, std::nullopt, 10.2},
      {"the new one beside another device's",
       {{kBootloader, 300ms}, {kOtherBoard}},
       "/dev/ttyACM0",
       0.3},
      {"gone at the reset, back on its name",
       {{kBootloader, 0ms, 900ms}, {kBootloader, 1500ms}},
       "/dev/ttyACM0",
       1.5},
      {"first seen in the pass at 10.2 s", {{kBootloader, 10100ms}}, std::nullopt, 10.2},
      {"just before ten seconds", {{kBootloader, 9500ms}}, "/dev/ttyACM0", 9.6},
      {"two in one pass, any case",
       {{kLegacy},
        {{"/sys/a/ttyACM3", "/dev/ttyACM3", true}, 600ms},
        {{"/sys/b/ttyACM4", "/DEV/TTYACM4", true}, 600ms}},
       "/DEV/TTYACM4",
       0.6},
      {"a USB port whose name is no port ends the wait",
       {{{"/sys/c/ttyGS0", "/dev/pts/7", true}, 300ms}},
       std::nullopt,
       0.3},
  };
  for (const auto& c : cases) {
    Scene scene(c.listings);
    EXPECT_EQ(scene.AfterReset(), c.port) << c.what;
    EXPECT_NEAR(scene.Seconds(), c.seconds, 0.01) << c.what;
    if (!c.port) {
      EXPECT_EQ(scene.view.Statuses().back(), kNoPort) << c.what;
    }
  }
  // One step at the start, one per new whole second, one at the end.
  Scene nothing({{kLegacy}});
  EXPECT_EQ(nothing.AfterReset(), std::nullopt);
  EXPECT_EQ(nothing.view.Statuses(),
            (std::vector<std::string>{"Step 2 of 2: Updating Firmware...", kNoPort}));
  EXPECT_EQ(nothing.view.Steps(), 1 + 10 + 1);
}

TEST(SerialPortNames, APortIsADevicePathOrALinkToOneInAnyCase) {
  EXPECT_TRUE(IsSerialPortName("/dev/ttyacm0"));
  EXPECT_FALSE(IsSerialPortName("/dev/pts/3"));
  EXPECT_FALSE(IsSerialPortName("COM3"));
  EXPECT_FALSE(IsSerialPortName("ttyACM0"));
  // A link made where the user may write (the simulated bootloader's, in the runtime folder).
  EXPECT_TRUE(IsSerialPortName("/run/user/1000/ttyQVSIM42-0"));
}

// The manual wait counts 20 s down; a port name that appears ends it, taken only when it is a new
// USB port (one there before the wait is another device's, never flashed).
TEST(Detection, TheManualWaitEndsWhenANameAppearsAndTakesOnlyANewUsbPort) {
  const struct {
    const char* what;
    std::vector<Listing> listings;
    std::optional<std::string> port;
    double seconds;
    const char* last;
  } cases[] = {
      {"a new USB port",
       {{kLegacy}, {kBootloader, 1500ms}},
       "/dev/ttyACM0",
       1.5,
       "Recovering Device... Working..."},
      {"a new port of no USB device",
       {{kLegacy, 600ms}, {{"/sys/d/ttyS1", "/dev/ttyS1", false}}},
       std::nullopt,
       0.6,
       kNoPort},
      {"another device's USB port", {{kOtherBoard}}, std::nullopt, 20.1, kNoPort},
  };
  for (const auto& c : cases) {
    Scene scene(c.listings);
    EXPECT_EQ(scene.Manual(), c.port) << c.what;
    EXPECT_NEAR(scene.Seconds(), c.seconds, 0.01) << c.what;
    EXPECT_EQ(scene.view.Statuses().front(),
              "Perform Hardware Reset on Crashed Device NOW!... 20 seconds left...")
        << c.what;
    EXPECT_EQ(scene.view.Statuses().back(), c.last) << c.what;
  }
  // With 1.5 s left the number is 1 and the ending still plural; below 1 s it is singular.
  Scene nothing({});
  EXPECT_EQ(nothing.Manual(), std::nullopt);
  const auto statuses = nothing.view.Statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(),
                      "Perform Hardware Reset on Crashed Device NOW!... 1 seconds left..."),
            statuses.end());
  EXPECT_EQ(statuses[statuses.size() - 2],
            "Perform Hardware Reset on Crashed Device NOW!... 0 second left...");
}

TEST(UdevPorts, ATtyUdevIsStillSettingUpIsNoPortYet) {
  EXPECT_EQ(TtyEntry("/sys/x/ttyACM0", "/dev/ttyACM0", false, true), std::nullopt);
  EXPECT_EQ(TtyEntry("/sys/x/ttyACM0", nullptr, true, true), std::nullopt);
  EXPECT_EQ(TtyEntry("/sys/x/ttyACM0", "/dev/ttyACM0", true, true),
            (SerialPortEntry{"/sys/x/ttyACM0", "/dev/ttyACM0", true}));
}

}  // namespace
