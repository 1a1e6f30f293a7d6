// The simulated controller answers like a real one, and refuses bad descriptions clearly.
#include "center/device/simulated_backend.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "center/device/backend_selection.h"
#include "center/device/device_discovery.h"
#include "center/device/live_data.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Device;
using namespace std::chrono_literals;

constexpr const char* kQuad = R"(<controllers><controller path="q" productId="0x0036" serial="s">
  <identity firmware="QV-Quad" family="B" configuration="Q" major="3" minor="2" slots="1 2 3 4 5"/>
  <buttons map="0 0 1"/>
  <axis slot="1" kind="ramp" from="0" to="1000" periodMs="1000"/>
  <raw channel="0" kind="ramp" from="1000" to="2000" periodMs="1000"/>
  <raw channel="2" kind="constant" value="4242"/>
  <calibration channel="0" minimum="10" maximum="20"/>
  <press button="3" periodMs="1000" downMs="100"/>
</controller></controllers>)";

class SimulatedQuad : public testing::Test {
 protected:
  SimulatedQuad() : backend_(SimulatedBackend::ParseDescription(kQuad), clock_) {
    Diagnostics::RecordingEventLog log;
    Diagnostics::RecordingUserNotifier notifier;
    DiscoveryServices services{backend_, clock_, log, notifier, {}, {}};
    RetrieveQuorvaneDevices(list_, services);
  }
  QuorvaneDevice& Row(std::size_t index) { return list_.rows.at(index); }

  Platform::ManualClock clock_;
  SimulatedBackend backend_;
  DeviceList list_;
};

TEST_F(SimulatedQuad, LiveReportsFollowTheClock) {
  ASSERT_EQ(list_.rows.size(), 6u);
  clock_.Advance(250ms);
  ReadLiveReports(backend_, Row(1));
  EXPECT_EQ(DecodeLiveValue(Row(1)), 250u);
  EXPECT_EQ(Row(1).PresentRawReading(), 1250u);
  Row(5).reportA = Row(1).reportA;
  EXPECT_EQ(DecodeLiveValue(Row(5)), 0u);  // button 3 is up after 100 ms
  clock_.Advance(800ms);                   // 1050 ms: down again
  ReadLiveReports(backend_, Row(5));
  EXPECT_EQ(DecodeLiveValue(Row(5)), 65535u);
}

TEST_F(SimulatedQuad, FailedReportsLeaveZerosButKeepTheFBlock) {
  Row(1).reportF.fill(7);
  backend_.Modify("q", [](SimulatedController& c) {
    c.failingReports = {kRawReportId, kReportFId};
  });
  clock_.Advance(100ms);
  ReadLiveReports(backend_, Row(1));
  EXPECT_EQ(Row(1).PresentRawReading(), 0u);
  EXPECT_EQ(Row(1).reportF[0], 7);
  EXPECT_EQ(DecodeLiveValue(Row(1)), 100u);

  backend_.Unplug("q");
  ReadLiveReports(backend_, Row(1));  // cannot open: the blocks stay as they were
  EXPECT_EQ(DecodeLiveValue(Row(1)), 100u);
}

TEST_F(SimulatedQuad, CalibrationCommandsChangeTheCalibrationBlock) {
  clock_.Advance(500ms);
  EXPECT_TRUE(SendCalibrationMinimum(backend_, Row(1), kTakePresentReading));
  EXPECT_TRUE(SendCalibrateMaximum(backend_, Row(3)));  // clutch: present raw 4242
  EXPECT_TRUE(SendCalibrationMinimum(backend_, Row(2), 77));
  ReadLiveReports(backend_, Row(1));
  EXPECT_EQ(Row(1).PresentCalibrationMinimum(), 1500u);
  EXPECT_EQ(Row(1).PresentCalibrationMaximum(), 20u);
  const auto calibration = backend_.Describe("q").calibration;
  EXPECT_EQ(calibration[1].first, 77u);
  EXPECT_EQ(calibration[2].second, 4242u);
  const auto sent = backend_.SentReports("q");
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1][1], 16);  // the quad's clutch maximum
}

TEST_F(SimulatedQuad, CommandsForRowsOutsideTheTableAreNeverSent) {
  EXPECT_FALSE(SendCalibrationMinimum(backend_, Row(5), 5));  // a button row
  EXPECT_FALSE(SendCalibrateMaximum(backend_, Row(5)));
  QuorvaneDevice beyond = Row(4);
  beyond.channelIndex = 4;
  beyond.buttonChannels.clear();
  EXPECT_FALSE(SendCalibrationMinimum(backend_, beyond, 5));
  EXPECT_TRUE(backend_.SentReports("q").empty());

  backend_.Modify("q", [](SimulatedController& c) { c.outputFails = true; });
  EXPECT_FALSE(SendCalibrationMinimum(backend_, Row(1), 5));
}

TEST_F(SimulatedQuad, ResetLeavesTheEnumerationAndCallsTheBootloaderHook) {
  std::string resetPath;
  int changes = 0;
  backend_.SetResetHandler([&](const std::string& path) { resetPath = path; });
  backend_.SetChangeListener([&] { ++changes; });
  EXPECT_TRUE(SendResetToBootloader(backend_, Row(0)));
  EXPECT_EQ(resetPath, "q");
  EXPECT_EQ(changes, 1);
  EXPECT_TRUE(backend_.Enumerate().devices.empty());
  EXPECT_FALSE(SendResetToBootloader(backend_, Row(0)));  // gone

  // A report with a wrong unlock sequence does nothing.
  backend_.Plug("q");
  OutputReport wrong = MakeResetReport();
  wrong[5] ^= 1;
  EXPECT_FALSE(backend_.OutputReportReceived("q", wrong));
  EXPECT_EQ(backend_.Enumerate().devices.size(), 1u);
}

TEST(SimulatedDescriptions, ShippedFilesLoadAndBadOnesAreRefusedClearly) {
  Platform::ManualClock clock;
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(QUORVANE_SIMULATED_DIR)) {
    EXPECT_NO_THROW(SimulatedBackend::FromFile(entry.path().string(), clock)) << entry.path();
    ++files;
  }
  EXPECT_GE(files, 5u);

  const auto refusal = [](const std::string& text) {
    try {
      SimulatedBackend::ParseDescription(text);
    } catch (const std::runtime_error& error) {
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  EXPECT_NE(refusal("<controllers><controller/></controllers>").find("needs a path"),
            std::string::npos);
  EXPECT_NE(
      refusal("<controllers><controller path=\"x\"/></controllers>").find("<identity> is missing"),
      std::string::npos);
  EXPECT_NE(
      refusal("<controllers><controller path=\"x\"><identity family=\"A\" configuration=\"S\" "
              "major=\"300\"/></controller></controllers>")
          .find("major"),
      std::string::npos);
  EXPECT_NE(refusal("<controllers").find("not a controller description"), std::string::npos);
  EXPECT_NE(refusal("<other/>").find("<controllers> is missing"), std::string::npos);
  EXPECT_THROW(SimulatedBackend::FromFile("/nonexistent/file.xml", clock), std::runtime_error);
}

TEST(BackendSelection, WithoutTheVariableTheRealBackendEnumeratesCleanly) {
  Platform::ManualClock clock;
  auto real =
      CreateHidBackend([](std::string_view) { return std::optional<std::string>(); }, clock);
  // No controller is attached to the test machine; the real backend still enumerates cleanly.
  EXPECT_FALSE(real->Enumerate().classFailure);
  std::error_code error;
  EXPECT_EQ(real->Open("/nonexistent/hidraw", error), nullptr);
  EXPECT_EQ(error, std::errc::no_such_file_or_directory);
}

}  // namespace
