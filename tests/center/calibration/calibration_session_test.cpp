// The calibration rules on a manual clock: commands and waits per kind, the count-down, the texts
// and how a typed custom minimum is read and checked.
#include "center/calibration/calibration_session.h"

#include <gtest/gtest.h>

#include <locale>

namespace {

using namespace Quorvane;
using namespace Quorvane::Calibration;
using namespace std::chrono_literals;

// Groups thousands with a comma, as an English-speaking user's locale does.
struct Thousands final : std::numpunct<char> {
  char do_thousands_sep() const override { return ','; }
  std::string do_grouping() const override { return "\3"; }
};
const std::locale kEnglish(std::locale::classic(), new Thousands);

// Each kind sends its command once and waits its time: 5.5 s for the maximum, 45.5 s for the
// automatic minimum (the controller takes the present reading), 1.5 s for a custom minimum. The
// count-down's captions are checked on screen by the window's calibration test.
TEST(Session, EachKindSendsItsCommandAndWaitsItsTime) {
  const struct {
    CalibrationKind kind;
    std::uint32_t custom, parameter;
    std::chrono::milliseconds unfinishedAt;
    int progressAtEnd;
  } cases[] = {
      {CalibrationKind::Maximum, 0, 0, 5000ms, 110},
      {CalibrationKind::AutomaticMinimum, 0, 0xFFFFFFFFu, 45000ms, 91},
      {CalibrationKind::CustomMinimum, 1200, 1200, 1000ms, 3},
  };
  for (const auto& c : cases) {
    Platform::ManualClock clock;
    std::vector<std::pair<CalibrationKind, std::uint32_t>> sent;
    CalibrationSession session(clock, [&](CalibrationKind kind, std::uint32_t parameter) {
      sent.emplace_back(kind, parameter);
      return true;
    });
    ASSERT_TRUE(session.Start(c.kind, c.custom));
    EXPECT_EQ(sent,
              (std::vector<std::pair<CalibrationKind, std::uint32_t>>{{c.kind, c.parameter}}));
    EXPECT_EQ(session.Caption(), "Calibrating Controller... ");
    clock.Advance(c.unfinishedAt);
    EXPECT_FALSE(session.Advance());
    clock.Advance(500ms);
    EXPECT_TRUE(session.Advance()) << c.parameter;
    EXPECT_EQ(session.ProgressPosition(), c.progressAtEnd);
  }

  Platform::ManualClock clock;
  CalibrationSession refused(clock, [](CalibrationKind, std::uint32_t) { return false; });
  EXPECT_FALSE(refused.Start(CalibrationKind::Maximum));
  EXPECT_FALSE(refused.Waiting());
  clock.Advance(10s);
  EXPECT_FALSE(refused.Advance());
}

// A custom minimum is a leading decimal number within the first 255 characters, else zero; one
// that would arrive as a negative or impossible number is refused, one above the present maximum
// is asked about.
TEST(CustomMinimumCheck, TheTypedTextDecidesSendRefuseOrConfirm) {
  using Verdict = CustomMinimumCheck::Verdict;
  const ChannelReadings present{150000, 120000, 1900000};
  const struct {
    std::string text;
    Verdict verdict;
    std::uint32_t value;
  } cases[] = {
      {"  1200 units", Verdict::Send, 1200},
      {"150000", Verdict::Send, 150000},  // sensor units, far above the joystick range
      {"letters", Verdict::Send, 0},
      {"", Verdict::Send, 0},
      {std::string(254, ' ') + "7", Verdict::Send, 7},
      {std::string(255, ' ') + "7", Verdict::Send, 0},  // the digit is character 256
      {"-1", Verdict::Refuse, 0},                       // it would arrive as 0xFFFFFFFF
      {"4294967295", Verdict::Refuse, 0},
      {"99999999999999999999", Verdict::Refuse, 0},
      {"2000000", Verdict::Confirm, 2000000},
  };
  for (const auto& c : cases) {
    const auto check = CheckCustomMinimum(c.text, present, kEnglish);
    EXPECT_EQ(check.verdict, c.verdict) << c.text;
    if (c.verdict != Verdict::Refuse) {
      EXPECT_EQ(check.value, c.value) << c.text;
    }
  }
  EXPECT_NE(CheckCustomMinimum("2000000", present, kEnglish)
                .message.find("2,000,000 is above the present maximum 1,900,000"),
            std::string::npos);
}

TEST(Instructions, TheCustomOneListsThePresentRangeGroupedTheUsersWay) {
  EXPECT_EQ(InstructionText(CalibrationKind::Maximum, {}, kEnglish),
            "Please press pedal to maximum within 5 seconds after you click OK to calibrate.");
  EXPECT_EQ(InstructionText(CalibrationKind::AutomaticMinimum, {}, kEnglish),
            "Please press OK when you have minimum pedal pressure to calibrate.");
  EXPECT_EQ(
      InstructionText(CalibrationKind::CustomMinimum, {0, 120000, 1900000}, kEnglish),
      "Please enter value for minimum calibration, then press OK.\n\t- Current Minimum: 120,000\n"
      "\t- Current Maximum: 1,900,000\n\nWarning! Minimum sensor value must never exceed Maximum "
      "sensor value.");
}

TEST(CalibrationColours, StartAtTheSecondEntryAndGoOnBetweenDialogs) {
  for (std::size_t step = 1; step <= Ui::kColourTable.size(); ++step) {
    EXPECT_EQ(CalibrationSession::NextColour(), Ui::kColourTable[step % Ui::kColourTable.size()]);
  }
}

}  // namespace
