// Discovery against simulated controllers: the real enumeration code, with the failures real
// devices show.
#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <thread>

#include "center/device/device_discovery.h"
#include "center/device/hidapi_backend.h"
#include "center/device/live_data.h"
#include "center/device/simulated_backend.h"
#include "tests/support/shipped_controllers.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Device;
using namespace std::chrono_literals;

class Discovery : public testing::Test {
 protected:
  void Use(std::vector<SimulatedController> controllers) {
    backend_ = std::make_unique<SimulatedBackend>(std::move(controllers), clock_);
    services_ = std::make_unique<DiscoveryServices>(
        DiscoveryServices{*backend_,
                          clock_,
                          log_,
                          notifier_,
                          [this](std::shared_ptr<FirmwareLookup> lookup, std::string identity) {
                            started_.push_back(identity);
                            lookups_.push_back(std::move(lookup));
                          },
                          {}});
  }
  bool Retrieve() { return RetrieveQuorvaneDevices(list_, *services_); }

  Platform::ManualClock clock_;
  Diagnostics::RecordingEventLog log_;
  Diagnostics::RecordingUserNotifier notifier_;
  std::unique_ptr<SimulatedBackend> backend_;
  std::unique_ptr<DiscoveryServices> services_;
  DeviceList list_;
  std::vector<std::string> started_;
  std::vector<std::shared_ptr<FirmwareLookup>> lookups_;
};

TEST_F(Discovery, QuadWithTwoButtonsGivesSevenNamedRows) {
  Use(Testing::ShippedControllers({"quad-buttons.xml"}));
  EXPECT_TRUE(Retrieve());
  const auto& rows = list_.rows;
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_TRUE(IsParentRow(rows, 0));
  EXPECT_FALSE(IsParentRow(rows, 1));
  const char* names[] = {"Brake",
                         "Brake",
                         "Accelerator",
                         "Clutch",
                         "Handbrake",
                         "Sequential Gearbox Down",
                         "Sequential Gearbox Up"};
  for (std::size_t index = 0; index < rows.size(); ++index) {
    EXPECT_EQ(rows[index].channelName, names[index]) << index;
    EXPECT_EQ(rows[index].serialNumber, "QVB-Q-0042");
    EXPECT_EQ(rows[index].logicalMaximum, 65535);
    EXPECT_TRUE(rows[index].identified);
  }
  EXPECT_EQ(rows[5].channelIndex, 4);
  EXPECT_EQ(rows[5].buttonSlotNumber, 3u);
  EXPECT_EQ(rows[6].channelIndex, 5);
  EXPECT_EQ(rows[6].buttonSlotNumber, 7u);
  EXPECT_EQ(rows[4].axisSlotNumber, 4u);
  EXPECT_EQ(rows[6].buttonsSlot, 4);
  // A lookup for every row but the buttons, with the row's firmware identity.
  ASSERT_EQ(started_.size(), 5u);
  EXPECT_EQ(started_[0],
            "Quorvane Quad Controller (Quad)(brake,accelerator,clutch,handbrake)|QV-Quad,ads-1262");
}

TEST_F(Discovery, ASlotGapBeforeTheButtonsLeavesEveryButtonRowLive) {
  // A dual whose second axis slot is the buttons slot, with its second paddle pressed.
  Use(SimulatedBackend::ParseDescription(R"(<controllers>
        <controller path="sim/dual-gap" productId="0x0036" serial="QVA-D-7" logicalMaximum="1000">
          <identity firmware="QV-Dual" family="A" configuration="D" major="1" minor="5" slots="1 5"/>
          <buttons map="2 3"/>
          <press button="2" periodMs="1000" downMs="1000"/>
        </controller></controllers>)"));
  ASSERT_TRUE(Retrieve());
  auto& rows = list_.rows;
  ASSERT_EQ(rows.size(), 5u);
  ReadLiveReports(*backend_, rows[1]);
  for (std::size_t index = 2; index < rows.size(); ++index) {
    rows[index].reportA = rows[1].reportA;
  }
  EXPECT_EQ(rows[2].channelName, "");
  EXPECT_FALSE(rows[2].IsButtonRow());
  // Both buttons named, flagged and decoded from their own bits, after the kind's two axes.
  EXPECT_EQ(rows[3].channelName, "Sequential Gearbox Down");
  EXPECT_EQ(rows[4].channelName, "Sequential Gearbox Up");
  EXPECT_EQ((std::vector{rows[3].channelIndex, rows[4].channelIndex}),
            (std::vector<std::uint16_t>{2, 3}));
  EXPECT_EQ((std::vector{rows[3].buttonSlotNumber, rows[4].buttonSlotNumber}),
            (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(DecodeLiveValue(rows[3]), 0u);
  EXPECT_EQ(DecodeLiveValue(rows[4]), 1000u);
  EXPECT_EQ(started_[0],
            "Quorvane Dual Controller (Dual)(brake,sequential gearbox down)|QV-Dual,ads-1256");
}

// The HID library lists a controller whose report descriptor has a nested collection once per
// usage pair, with one path: it is one controller, read once a pass. Single controllers (whose
// last row has channel 0, as the next one's device line does) are each read once too.
TEST_F(Discovery, EachControllerIsListedAndReadOncePerPath) {
  std::string description = "<controllers>";
  for (int unit = 1; unit <= 4; ++unit) {
    description += "<controller path=\"sim/single-" + std::to_string(unit) + "\" serial=\"QVA-S-" +
                   std::to_string(unit) + "\"" + (unit == 1 ? " enumerationRecords=\"3\"" : "") +
                   "><identity firmware=\"QV-Single\" family=\"A\" configuration=\"S\" major=\"2\" "
                   "minor=\"1\" "
                   "slots=\"1\"/></controller>";
  }
  Use(SimulatedBackend::ParseDescription(description + "</controllers>"));
  ASSERT_TRUE(Retrieve());
  const auto& rows = list_.rows;
  ASSERT_EQ(rows.size(), 8u);  // a device line and a brake line each
  std::vector<std::size_t> sources;
  for (std::size_t index = 0; index < rows.size(); ++index) {
    if (IsLiveSourceRow(rows, index)) sources.push_back(index);
  }
  EXPECT_EQ(sources, (std::vector<std::size_t>{0, 2, 4, 6}));
}

// A controller whose identity has no Buttons slot presses no button, whatever its axes read.
TEST_F(Discovery, ButtonRowsOfAControllerWithoutAButtonsSlotAreNeverPressed) {
  Use(SimulatedBackend::ParseDescription(R"(<controllers>
        <controller path="sim/no-buttons-slot" serial="QVA-S-9">
          <identity firmware="QV-Single" family="A" configuration="S" major="2" minor="1" slots="1"/>
          <buttons map="2 3"/>
          <axis slot="1" kind="constant" value="65535"/>
        </controller></controllers>)"));
  ASSERT_TRUE(Retrieve());
  auto& rows = list_.rows;
  ASSERT_EQ(rows.size(), 4u);
  ReadLiveReports(*backend_, rows[0]);
  ASSERT_EQ(BlockValue(rows[0].reportA, 0), 65535u);  // the brake is pressed fully
  for (std::size_t index : {2u, 3u}) {
    rows[index].reportA = rows[0].reportA;
    ASSERT_TRUE(rows[index].IsButtonRow());
    EXPECT_EQ(DecodeLiveValue(rows[index]), 0u) << index;
  }
}

// A backend whose controllers stop answering while `stalled` is set: a report request waits
// until it is cleared, as the kernel waits for a controller that answers no GET_REPORT, and
// then fails.
class StallingBackend final : public HidBackend {
 public:
  explicit StallingBackend(HidBackend& inner) : inner_(inner) {}
  Enumeration Enumerate() override { return inner_.Enumerate(); }
  std::unique_ptr<HidConnection> Open(const std::string& path, std::error_code& error) override {
    auto connection = inner_.Open(path, error);
    return connection ? std::make_unique<Connection>(*this, std::move(connection)) : nullptr;
  }
  std::atomic<bool> stalled{false};
  std::atomic<int> waiting{0};

 private:
  class Connection final : public HidConnection {
   public:
    Connection(StallingBackend& owner, std::unique_ptr<HidConnection> inner)
        : owner_(owner), inner_(std::move(inner)) {}
    std::optional<std::string> Manufacturer() override { return inner_->Manufacturer(); }
    std::optional<std::string> Product() override { return inner_->Product(); }
    std::optional<std::string> SerialNumber() override { return inner_->SerialNumber(); }
    std::optional<LogicalRange> ValueRange() override { return inner_->ValueRange(); }
    bool GetInputReport(std::uint8_t reportId, InputReportBuffer& buffer) override {
      if (!owner_.stalled) return inner_->GetInputReport(reportId, buffer);
      ++owner_.waiting;
      while (owner_.stalled) std::this_thread::sleep_for(1ms);
      --owner_.waiting;
      return false;
    }
    bool SendOutputReport(std::span<const std::uint8_t> report) override {
      return inner_->SendOutputReport(report);
    }

   private:
    StallingBackend& owner_;
    std::unique_ptr<HidConnection> inner_;
  };
  HidBackend& inner_;
};

// A controller that stops answering holds up neither the list nor whoever needs it (the window,
// Ctrl-C): it is read without the list lock, shown as not answering, and listed as there, not
// as absent, by the next enumeration.
TEST_F(Discovery, AControllerThatStopsAnsweringIsShownSoAndHoldsUpNobody) {
  Use(Testing::ShippedControllers({"single-brake.xml"}));
  StallingBackend stalling(*backend_);
  services_ = std::make_unique<DiscoveryServices>(
      DiscoveryServices{stalling, clock_, log_, notifier_, {}, {}});
  ASSERT_TRUE(Retrieve());
  stalling.stalled = true;
  bool changed = false;
  std::thread pass(
      [&] { changed = ReadLivePass(stalling, list_, [](std::size_t, std::uint32_t) {}); });
  while (stalling.waiting == 0) std::this_thread::sleep_for(1ms);
  {
    std::unique_lock lock(list_.listLock, std::try_to_lock);
    EXPECT_TRUE(lock.owns_lock())
        << "the pass holds the list lock while it waits on the controller";
  }
  stalling.stalled = false;
  pass.join();
  EXPECT_TRUE(changed);
  EXPECT_FALSE(list_.rows[0].answering);

  stalling.stalled = true;
  std::thread enumeration([&] { Retrieve(); });
  while (stalling.waiting == 0) std::this_thread::sleep_for(1ms);
  {
    std::unique_lock lock(list_.listLock, std::try_to_lock);
    EXPECT_TRUE(lock.owns_lock())
        << "enumeration holds the list lock while it waits on the controller";
  }
  stalling.stalled = false;
  enumeration.join();
  ASSERT_EQ(list_.rows.size(), 2u);  // there, not absent
  EXPECT_FALSE(list_.rows[0].answering);
  EXPECT_EQ(list_.rows[0].serialNumber, "QVA-S-0001");
}

TEST_F(Discovery, SlotTypesOneZeroTwoNameOnlyTheBrake) {
  Use(Testing::ShippedControllers({"slots-1-0-2.xml"}));
  Retrieve();
  ASSERT_EQ(list_.rows.size(), 5u);  // a quad: parent and channels 0..3
  EXPECT_EQ(list_.rows[1].channelName, "Brake");
  EXPECT_EQ(list_.rows[2].channelName, "");
  EXPECT_EQ(list_.rows[3].channelName, "");
  EXPECT_EQ(list_.rows[3].axisSlotNumber, 0u);
  EXPECT_EQ(list_.rows[1].channelNames[2], "");
}

TEST_F(Discovery, HxVersionThreeIsLegacyWithoutFirmwareVersionFourIsHx) {
  Use(Testing::ShippedControllers({"hx-v3.xml", "hx-v4.xml"}));
  Retrieve();
  ASSERT_EQ(list_.rows.size(), 4u);
  EXPECT_EQ(GetFirmwareIdentity(list_.rows[0]), "");
  EXPECT_EQ(GetFirmwareIdentity(list_.rows[2]), "Quorvane HX Controller (HX)(brake)|QV-HX,hx");
}

TEST_F(Discovery, ReplugKeepsTheListEqualAndAnEmptyMachineEmptiesIt) {
  Use(Testing::ShippedControllers({"single-brake.xml", "quad-buttons.xml"}));
  EXPECT_TRUE(Retrieve());
  ASSERT_EQ(list_.rows.size(), 9u);
  backend_->Unplug("sim/single-brake");
  backend_->Plug("sim/single-brake");
  EXPECT_FALSE(Retrieve());
  EXPECT_EQ(list_.rows.size(), 9u);

  backend_->Unplug("sim/single-brake");
  backend_->Unplug("sim/quad-buttons");
  EXPECT_TRUE(Retrieve());
  EXPECT_TRUE(list_.rows.empty());
  EXPECT_FALSE(Retrieve());  // empty before and after
}

TEST_F(Discovery, LookupsRestartOnlyForRowsWhoseLookupEnded) {
  Use(Testing::ShippedControllers({"single-brake.xml"}));
  Retrieve();
  ASSERT_EQ(started_.size(), 2u);
  list_.rows[0].Lookup().Append(Quorvane::Service::FirmwareEntry{});
  EXPECT_FALSE(Retrieve());
  // Both lookups still run: nothing new starts, but the firmwares are emptied.
  EXPECT_EQ(started_.size(), 2u);
  EXPECT_TRUE(list_.rows[0].AvailableFirmwares().empty());
  lookups_[0]->running = false;
  Retrieve();
  EXPECT_EQ(started_.size(), 3u);
}

TEST_F(Discovery, UnsupportedProductsAreIgnored) {
  auto controllers = Testing::ShippedControllers({"single-brake.xml"});
  controllers[0].productId = 0x0038;
  Use(controllers);
  EXPECT_FALSE(Retrieve());
  EXPECT_TRUE(list_.rows.empty());
}

// A serial number gets five tries 200 ms apart, the product string two; a controller without its
// strings is left out, one whose reports go unanswered is there (as not answering), the others
// stay.
TEST_F(Discovery, StringsAreTriedAgainAndAControllerWithoutThemIsLeftOut) {
  const struct {
    std::function<void(SimulatedController&)> fault;
    std::chrono::milliseconds pause;
    std::size_t rows;
  } cases[] = {{[](SimulatedController& c) { c.serialFailures = -1; }, 800ms, 7},
               {[](SimulatedController& c) { c.serialFailures = 4; }, 800ms, 9},
               {[](SimulatedController& c) { c.productFails = true; }, 200ms, 7},
               {[](SimulatedController& c) { c.failingReports = {kButtonMapReportId}; }, 0ms, 9}};
  for (const auto& step : cases) {
    Use(Testing::ShippedControllers({"single-brake.xml", "quad-buttons.xml"}));
    backend_->Modify("sim/single-brake", step.fault);
    const auto before = clock_.Now();
    Retrieve();
    EXPECT_EQ(clock_.Now() - before, step.pause);
    EXPECT_EQ(list_.rows.size(), step.rows);
  }
}

TEST_F(Discovery, PermissionDeniedIsExplainedOnceInTheEventLog) {
  Use(Testing::ShippedControllers({"single-brake.xml", "quad-buttons.xml"}));
  for (const char* path : {"sim/single-brake", "sim/quad-buttons"}) {
    backend_->Modify(path,
                     [](SimulatedController& c) { c.openFailure = std::errc::permission_denied; });
  }
  Retrieve();
  Retrieve();
  const auto entries = log_.Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(entries[0].text.find("udev rules"), std::string::npos);
  EXPECT_TRUE(list_.rows.empty());
}

TEST_F(Discovery, ClassFailureIsShownAndEmptiesTheListAWalkFailureKeepsIt) {
  Use(Testing::ShippedControllers({"single-brake.xml"}));
  Retrieve();
  backend_->FailEnumeration(std::nullopt, std::errc::io_error);
  backend_->Unplug("sim/single-brake");
  EXPECT_FALSE(Retrieve());
  EXPECT_EQ(list_.rows.size(), 2u);  // unchanged: the new list was incomplete
  ASSERT_EQ(log_.Entries().size(), 1u);
  EXPECT_EQ(log_.Entries()[0].type, Diagnostics::kEventError);

  std::size_t dropped = 0;
  services_->beforeReplace = [&](std::vector<QuorvaneDevice>& old) { dropped += old.size(); };
  backend_->FailEnumeration(std::errc::no_such_device, std::nullopt);
  EXPECT_TRUE(Retrieve());  // the emptied list is a replaced list: the view drops its rows
  EXPECT_TRUE(list_.rows.empty());
  EXPECT_EQ(dropped, 2u);
  const auto notices = notifier_.Notices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].text.rfind(
                "SetupDiGetClassDevs executed with return value of INVALID_HANDLE_VALUE\n"
                "Last Error Code: ",
                0),
            0u);
  EXPECT_EQ(log_.Entries().size(), 2u);
}

TEST_F(Discovery, AControllerBackFromAFirmwareChangeReplacesTheList) {
  Use(Testing::ShippedControllers({"single-brake.xml"}));
  Retrieve();
  backend_->Modify("sim/single-brake", [](SimulatedController& controller) {
    controller.identity[45] = 9;  // same path and strings, new firmware version
    controller.identity[1] = 'X';
  });
  started_.clear();
  EXPECT_TRUE(Retrieve());
  EXPECT_EQ(list_.rows[0].identityReport[45], 9);
  ASSERT_FALSE(started_.empty());
  EXPECT_NE(started_[0].find("|X"), std::string::npos)
      << started_[0];  // asked with the new identity
}

TEST(HidStrings, AreReadUpToTwoHundredFiftyFiveCharacters) {
  // As hidapi does: at most length - 1 characters, then a terminator.
  const std::wstring longText(300, L'\u00e9');
  const auto read = [&](wchar_t* text, std::size_t length) {
    const std::size_t copied = std::min(length - 1, longText.size());
    std::wmemcpy(text, longText.data(), copied);
    text[copied] = L'\0';
    return 0;
  };
  const auto text = ReadWideString(read);
  ASSERT_TRUE(text);
  EXPECT_EQ(text->size(), 2 * kMaxHidStringCharacters);  // 255 characters of two UTF-8 bytes
  EXPECT_EQ(ReadWideString([](wchar_t*, std::size_t) { return -1; }), std::nullopt);
}

}  // namespace
