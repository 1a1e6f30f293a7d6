#include "center/device/report_descriptor.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace Quorvane::Device;

std::optional<std::pair<int, int>> Range(const std::vector<std::uint8_t>& descriptor) {
  auto range = FirstInputValueRange(descriptor);
  return range ? std::optional(std::pair<int, int>(range->minimum, range->maximum)) : std::nullopt;
}

TEST(ReportDescriptor, JoystickWithButtonsFirstFindsThe16BitAxes) {
  // Game pad: 16 buttons (1-bit), then X/Y/Z 16-bit 0..65535 (as a 3-byte logical maximum).
  const std::vector<std::uint8_t> descriptor{
      0x05, 0x01, 0x09, 0x04, 0xA1, 0x01, 0x85, 0x01,  // usage page, joystick, report id 1
      0x05, 0x09, 0x19, 0x01, 0x29, 0x10, 0x15, 0x00,
      0x25, 0x01, 0x75, 0x01, 0x95, 0x10, 0x81, 0x02,  // 16 one-bit buttons
      0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x09, 0x32,
      0x15, 0x00, 0x27, 0xFF, 0xFF, 0x00, 0x00,  // logical 0..65535 (4 bytes)
      0x75, 0x10, 0x95, 0x03, 0x81, 0x02, 0xC0};
  EXPECT_EQ(Range(descriptor), std::pair(0, 65535));
}

TEST(ReportDescriptor, LimitsAreSignExtendedInTheirOwnWidth) {
  const std::vector<std::uint8_t> eightBit{0x15, 0x81, 0x25, 0x7F, 0x75,
                                           0x08, 0x95, 0x02, 0x81, 0x02};
  EXPECT_EQ(Range(eightBit), std::pair(-127, 127));
  const std::vector<std::uint8_t> sixteenBit{0x16, 0x00, 0x80, 0x26, 0xFF,
                                             0x7F, 0x75, 0x10, 0x81, 0x02};
  EXPECT_EQ(Range(sixteenBit), std::pair(-32768, 32767));
  // 0xFFFF in two bytes is -1, as the HID rules say.
  const std::vector<std::uint8_t> wrapped{0x15, 0x00, 0x26, 0xFF, 0xFF, 0x75, 0x10, 0x81, 0x02};
  EXPECT_EQ(Range(wrapped), std::pair(0, -1));
}

TEST(ReportDescriptor, ConstantsArraysLongItemsAndPushPopAreHandled) {
  const std::vector<std::uint8_t> descriptor{
      0x15, 0x00, 0x25, 0x0A, 0x75, 0x08, 0x81, 0x01,  // constant padding: skipped
      0x81, 0x00,                                      // array: skipped
      0xFE, 0x02, 0x10, 0xAA, 0xBB,                    // a long item
      0xA4, 0x15, 0x05, 0x25, 0x06, 0xB4,              // push, change, pop: back to 0..10
      0x81, 0x02};
  EXPECT_EQ(Range(descriptor), std::pair(0, 10));
}

TEST(ReportDescriptor, BrokenOrValuelessDescriptorsGiveNothing) {
  EXPECT_EQ(Range({}), std::nullopt);
  EXPECT_EQ(Range({0x15, 0x00, 0x26, 0xFF}), std::nullopt);        // cut inside an item
  EXPECT_EQ(Range({0xFE, 0x10}), std::nullopt);                    // cut long item
  EXPECT_EQ(Range({0xFE, 0xFF, 0x00, 0x81, 0x02}), std::nullopt);  // long item past the end
  EXPECT_EQ(Range({0x75, 0x01, 0x81, 0x02}), std::nullopt);        // only one-bit inputs
  std::vector<std::uint8_t> deep;
  for (int push = 0; push < 100; ++push) deep.push_back(0xA4);
  for (int pop = 0; pop < 120; ++pop) deep.push_back(0xB4);
  EXPECT_EQ(Range(deep), std::nullopt);
}

}  // namespace
