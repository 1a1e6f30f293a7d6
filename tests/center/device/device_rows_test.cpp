// The device object, its reports and the command table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "center/device/controller_reports.h"
#include "center/device/device_discovery.h"
#include "center/device/quorvane_device.h"

namespace {

using namespace Quorvane::Device;

void PutValue(ReportBlock& block, std::size_t index, std::uint32_t value) {
  for (std::size_t byte = 0; byte < 4; ++byte)
    block[4 * index + byte] = static_cast<std::uint8_t>(value >> (8 * byte));
}

QuorvaneDevice QuadWithButtons() {
  QuorvaneDevice device;
  device.devicePath = "/dev/hidraw3";
  device.identityReport[0] = kIdentityReportId;
  std::memcpy(device.identityReport.data() + 1, "QV-Quad", 7);
  device.identityReport[43] = 'B';
  device.identityReport[44] = 'Q';
  const std::uint8_t slots[] = {1, 2, 3, 4, 5, 0, 0};
  std::memcpy(device.identityReport.data() + 47, slots, 7);
  device.buttonMapReport[3] = 2;
  device.buttonMapReport[7] = 3;
  device.kind = ControllerKindOf(device.identityReport);
  device.logicalMaximum = 65535;
  return device;
}

TEST(DeviceRows, AxisRowsReadTheirSlotAndOutOfRangeSlotsAreNeverDecoded) {
  auto rows = RowsOfController(QuadWithButtons());
  QuorvaneDevice clutch = rows[3];
  ASSERT_EQ(clutch.channelName, "Clutch");
  PutValue(clutch.reportA, 2, 31000);
  EXPECT_EQ(DecodeLiveValue(clutch), 31000u);
  PutValue(clutch.reportA, 6, 7007);  // axis slot 7
  clutch.axisSlotNumber = 7;
  EXPECT_EQ(DecodeLiveValue(clutch), 7007u);
  for (const std::uint32_t outside : {0u, 8u}) {
    clutch.axisSlotNumber = outside;
    EXPECT_EQ(DecodeLiveValue(clutch), std::nullopt);
  }
}

TEST(DeviceRows, CopiesNeverTakeTheLookupAndEqualityIgnoresChannels) {
  QuorvaneDevice row = QuadWithButtons();
  row.product = "Quorvane Brake Controller";
  Quorvane::Service::FirmwareEntry entry;
  entry.id = "fw";
  row.Lookup().Append(entry);
  row.Lookup().running = true;
  QuorvaneDevice copy(row);
  EXPECT_FALSE(copy.Lookup().running);
  EXPECT_EQ(copy.AvailableFirmwares().size(), 1u);
  EXPECT_NE(copy.SharedLookup(), row.SharedLookup());
  QuorvaneDevice assigned;
  assigned = row;
  EXPECT_FALSE(assigned.Lookup().running);

  copy.channelIndex = 3;
  EXPECT_EQ(copy, row);
  copy.serialNumber = "other";
  EXPECT_NE(copy, row);
}

TEST(DeviceRows, CalibrationReadingsOfChannelsBeyondSixAreZero) {
  QuorvaneDevice row = QuadWithButtons();
  // Every byte set, so a reading past the seventh channel would find something.
  row.reportB.fill(0xAB);
  row.reportC.fill(0xCD);
  PutValue(row.reportB, 6, 777);
  PutValue(row.reportC, 12, 100);
  PutValue(row.reportC, 13, 900);
  row.channelIndex = 6;
  EXPECT_EQ(row.PresentRawReading(), 777u);
  EXPECT_EQ(row.PresentCalibrationMinimum(), 100u);
  EXPECT_EQ(row.PresentCalibrationMaximum(), 900u);
  row.channelIndex = 7;
  EXPECT_EQ(row.PresentRawReading(), 0u);
  EXPECT_EQ(row.PresentCalibrationMinimum(), 0u);
  EXPECT_EQ(row.PresentCalibrationMaximum(), 0u);
}

// A dual controller whose second axis slot holds the buttons: one named axis, two buttons.
QuorvaneDevice DualWithButtonsInSlotTwo() {
  QuorvaneDevice device;
  device.devicePath = "/dev/hidraw4";
  std::memcpy(device.identityReport.data() + 1, "QV-Dual", 7);
  device.identityReport[43] = 'A';
  device.identityReport[44] = 'D';
  device.identityReport[47] = kSlotBrake;
  device.identityReport[48] = kSlotButtons;
  device.buttonMapReport[1] = 2;
  device.buttonMapReport[2] = 3;
  device.kind = ControllerKindOf(device.identityReport);
  device.logicalMaximum = 1000;
  return device;
}

TEST(DeviceRows, LegacyControllersShowNoButtonRows) {
  QuorvaneDevice legacy = DualWithButtonsInSlotTwo();
  legacy.identityReport[43] = 'H';
  legacy.identityReport[44] = 'X';
  legacy.kind = ControllerKindOf(legacy.identityReport);
  ASSERT_EQ(legacy.kind, ControllerKind::LegacyHx);
  const auto rows = RowsOfController(legacy);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_FALSE(rows[1].IsButtonRow());
  EXPECT_EQ(rows[1].channelName, "Brake");
}

TEST(FirmwareIdentity, FirmwareNameBytesAboveAsciiAreLatinOneCharacters) {
  QuorvaneDevice single;
  const std::uint8_t name[] = {'Q', 'V', 0xE9, 0xFF};
  std::memcpy(single.identityReport.data() + 1, name, sizeof name);
  EXPECT_EQ(FirmwareName(single.identityReport), "QV\u00e9\u00ff");
  // A name that fills its whole field (bytes 1..42, no zero byte) ends there, before the family.
  std::memset(single.identityReport.data() + 1, 'N', 42);
  single.identityReport[43] = 'A';
  single.identityReport[44] = 'S';
  EXPECT_EQ(FirmwareName(single.identityReport), std::string(42, 'N'));
}

TEST(CommandTable, CodesByKindChannelAndSlotTypeAndNothingOutsideTheTable) {
  using K = ControllerKind;
  const auto codes = [](K kind, std::uint32_t channel, std::uint8_t type) {
    auto found = CalibrationCodesFor(kind, channel, type);
    return found ? std::pair<int, int>(found->setMinimum, found->calibrateMaximum)
                 : std::pair<int, int>(-1, -1);
  };
  using P = std::pair<int, int>;
  EXPECT_EQ(codes(K::LegacyHx, 0, kSlotClutch), P(0, 1));
  EXPECT_EQ(codes(K::Single, 0, kSlotAccelerator), P(0, 1));
  EXPECT_EQ(codes(K::Dual, 1, kSlotBrake), P(0, 1));
  EXPECT_EQ(codes(K::Dual, 0, kSlotClutch), P(2, 4));
  EXPECT_EQ(codes(K::Triple, 2, kSlotAccelerator), P(2, 4));
  EXPECT_EQ(codes(K::Triple, 1, kSlotHandbrake), P(8, 16));
  EXPECT_EQ(codes(K::Quad, 3, kSlotClutch), P(8, 16));
  EXPECT_EQ(codes(K::Quad, 0, kSlotHandbrake), P(18, 20));
  EXPECT_EQ(codes(K::Quad, 2, kSlotAccelerator), P(2, 4));
  EXPECT_EQ(codes(K::Quad, 1, kSlotButtons), P(18, 20));  // no axis type: the last code
  // Beyond the kind's axes, and an unrecognised controller: not covered.
  EXPECT_EQ(codes(K::Unrecognised, 0, kSlotBrake), P(-1, -1));
  EXPECT_EQ(codes(K::Single, 1, kSlotBrake), P(-1, -1));
  EXPECT_EQ(codes(K::Dual, 2, kSlotBrake), P(-1, -1));
  EXPECT_EQ(codes(K::Quad, 4, kSlotBrake), P(-1, -1));
}

TEST(OutputReports, CalibrationAndResetLayouts) {
  const OutputReport command = MakeCalibrationCommandReport(18, 0x01020304);
  EXPECT_EQ(command.size(), 63u);
  EXPECT_EQ(command[0], 0x10);
  EXPECT_EQ(command[1], 18);
  EXPECT_EQ(command[2], 0x04);
  EXPECT_EQ(command[5], 0x01);
  EXPECT_EQ(std::count(command.begin() + 6, command.end(), 0), 57);

  const OutputReport reset = MakeResetReport();
  const std::uint8_t unlock[] = {0x5C, 0x17, 0xE2, 0x09, 0xA4, 0x3B, 0x70, 0xD8,
                                 0x91, 0x2E, 0xC6, 0x0F, 0x48, 0xB3, 0x6A, 0x1D};
  EXPECT_EQ(reset[0], 0x30);
  EXPECT_TRUE(std::equal(std::begin(unlock), std::end(unlock), reset.begin() + 1));
  EXPECT_EQ(std::count(reset.begin() + 17, reset.end(), 0), 46);
}

TEST(SupportedDevices, PathMatchInAnyLetterCaseAndOnlyTheTwoProducts) {
  const auto& table = SupportedDeviceTable();
  EXPECT_FALSE(PathMatches("\\\\?\\HID#VID_03EB&PID_0037#7&1a2b", table[0]));
  EXPECT_TRUE(PathMatches("\\\\?\\HID#VID_03EB&PID_0037#7&1a2b", table[1]));
  EXPECT_TRUE(PathMatches("\\\\?\\hid#vid_03eb&pid_0036#7&1a2b", table[0]));
  const HidDeviceInfo other{"/dev/hidraw9", 0x03EB, 0x0038};
  EXPECT_FALSE(DeviceMatches(other, table[0]));
  EXPECT_FALSE(DeviceMatches(other, table[1]));
  // Ids the backend reports win over the path.
  EXPECT_TRUE(DeviceMatches({"#vid_03eb&pid_0038", 0x03EB, 0x0036}, table[0]));
}

TEST(ControllerKinds, FromFamilyConfigurationAndMajorVersion) {
  IdentityReport identity{};
  const auto kind = [&](char family, char configuration, std::uint8_t major) {
    identity[43] = static_cast<std::uint8_t>(family);
    identity[44] = static_cast<std::uint8_t>(configuration);
    identity[45] = major;
    return ControllerKindOf(identity);
  };
  using K = ControllerKind;
  EXPECT_EQ(kind('H', 'X', 3), K::LegacyHx);
  EXPECT_EQ(kind('H', 'X', 4), K::Hx);
  EXPECT_EQ(kind('H', 'Q', 4), K::Unrecognised);
  EXPECT_EQ(kind('A', 'S', 1), K::Single);
  EXPECT_EQ(kind('B', 'D', 1), K::Dual);
  EXPECT_EQ(kind('A', 'T', 1), K::Triple);
  EXPECT_EQ(kind('B', 'Q', 1), K::Quad);
  EXPECT_EQ(kind('B', 'X', 1), K::Unrecognised);
  EXPECT_EQ(kind('C', 'S', 1), K::Unrecognised);
}

// (The names of each kind and family are checked on the shipped controllers in the discovery
// tests.)
TEST(FirmwareIdentity, AFamilyWithoutFirmwareHasNone) {
  QuorvaneDevice row = QuadWithButtons();
  NameRow(row);
  row.identityReport[43] = 'C';  // a quad of a family nobody makes firmware for
  EXPECT_EQ(GetFirmwareIdentity(row), "");
}

}  // namespace
