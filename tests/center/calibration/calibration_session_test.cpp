// The calibration rules on a manual clock: commands and waits per kind, the count-down, the texts
// and how a typed custom minimum is read and checked.
#include <gtest/gtest.h>

#include <locale>

#include "center/calibration/calibration_session.h"

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

struct Sent {
  CalibrationKind kind;
  std::uint32_t parameter;
};

class Session : public testing::Test {
 protected:
  CalibrationSession Make(bool sends = true) {
    return CalibrationSession(clock_, [this, sends](CalibrationKind kind, std::uint32_t parameter) {
      sent_.push_back({kind, parameter});
      return sends;
    });
  }
  // The captions shown at each half second until the wait ends.
  std::vector<std::string> CountDown(CalibrationSession& session) {
    std::vector<std::string> captions{session.Caption()};
    while (!session.Finished()) {
      clock_.Advance(500ms);
      session.Advance();
      captions.push_back(session.Caption());
    }
    return captions;
  }

  Platform::ManualClock clock_;
  std::vector<Sent> sent_;
};

TEST_F(Session, TheMaximumSendsItsCommandAndCountsFiveSecondsDown) {
  auto session = Make();
  ASSERT_TRUE(session.Start(CalibrationKind::Maximum));
  ASSERT_EQ(sent_.size(), 1u);
  EXPECT_EQ(sent_[0].kind, CalibrationKind::Maximum);
  const auto captions = CountDown(session);
  EXPECT_EQ(captions.front(), "Calibrating Controller... ");
  std::vector<std::string> distinct;
  for (const auto& caption : captions) {
    if (distinct.empty() || distinct.back() != caption) distinct.push_back(caption);
  }
  EXPECT_EQ(distinct, (std::vector<std::string>{"Calibrating Controller... ",
                                                "Calibrating Controller... 5 seconds left...",
                                                "Calibrating Controller... 4 seconds left...",
                                                "Calibrating Controller... 3 seconds left...",
                                                "Calibrating Controller... 2 seconds left...",
                                                "Calibrating Controller... 1 seconds left..."}));
  EXPECT_EQ(session.ElapsedTicks(), 11);  // 5.5 s
  EXPECT_EQ(session.ProgressPosition(), 110);
}

TEST_F(Session, TheMinimumsWaitFortyFiveAndOneAndAHalfSeconds) {
  auto automatic = Make();
  ASSERT_TRUE(automatic.Start(CalibrationKind::AutomaticMinimum));
  EXPECT_EQ(sent_.back().parameter, kTakePresentReading);
  clock_.Advance(45s);
  EXPECT_FALSE(automatic.Advance());
  clock_.Advance(500ms);
  EXPECT_TRUE(automatic.Advance());  // the 91st tick
  EXPECT_EQ(automatic.ProgressPosition(), 91);

  auto custom = Make();
  ASSERT_TRUE(custom.Start(CalibrationKind::CustomMinimum, 1200));
  EXPECT_EQ(sent_.back().parameter, 1200u);
  clock_.Advance(1s);
  EXPECT_FALSE(custom.Advance());
  clock_.Advance(500ms);
  EXPECT_TRUE(custom.Advance());
}

TEST_F(Session, AFailedSendStartsNoWait) {
  auto session = Make(false);
  EXPECT_FALSE(session.Start(CalibrationKind::Maximum));
  EXPECT_FALSE(session.Waiting());
  clock_.Advance(10s);
  EXPECT_FALSE(session.Advance());
}

TEST(CustomMinimumText, ALeadingDecimalNumberOfAtMost255CharactersAndElseZero) {
  EXPECT_EQ(ReadCustomMinimumText("1200"), 1200);
  EXPECT_EQ(ReadCustomMinimumText("  1200 units"), 1200);
  EXPECT_EQ(ReadCustomMinimumText("abc"), 0);
  EXPECT_EQ(ReadCustomMinimumText(""), 0);
  EXPECT_EQ(ReadCustomMinimumText("-1"), -1);
  EXPECT_EQ(ReadCustomMinimumText(std::string(255, ' ') + "7"), 0);  // the digit is character 256
  EXPECT_EQ(ReadCustomMinimumText(std::string(254, ' ') + "7"), 7);
}

TEST(CustomMinimumCheck, NegativeAndImpossibleValuesAreRefusedOneAboveTheMaximumIsAskedFor) {
  const ChannelReadings present{150000, 120000, 1900000};
  auto check = CheckCustomMinimum("-1", present, kEnglish);
  EXPECT_EQ(check.verdict, CustomMinimumCheck::Verdict::Refuse);  // it would arrive as 0xFFFFFFFF
  check = CheckCustomMinimum("4294967295", present, kEnglish);
  EXPECT_EQ(check.verdict, CustomMinimumCheck::Verdict::Refuse);
  check = CheckCustomMinimum("99999999999999999999", present, kEnglish);
  EXPECT_EQ(check.verdict, CustomMinimumCheck::Verdict::Refuse);

  check = CheckCustomMinimum("150000", present, kEnglish);  // sensor units, far above the joystick range
  EXPECT_EQ(check.verdict, CustomMinimumCheck::Verdict::Send);
  EXPECT_EQ(check.value, 150000u);
  check = CheckCustomMinimum("letters", present, kEnglish);
  EXPECT_EQ(check.verdict, CustomMinimumCheck::Verdict::Send);
  EXPECT_EQ(check.value, 0u);

  check = CheckCustomMinimum("2000000", present, kEnglish);
  EXPECT_EQ(check.verdict, CustomMinimumCheck::Verdict::Confirm);
  EXPECT_EQ(check.value, 2000000u);
  EXPECT_NE(check.message.find("2,000,000 is above the present maximum 1,900,000"), std::string::npos) << check.message;
}

TEST(Instructions, TheCustomOneListsThePresentRangeGroupedTheUsersWay) {
  EXPECT_EQ(InstructionText(CalibrationKind::Maximum, {}, kEnglish),
            "Please press pedal to maximum within 5 seconds after you click OK to calibrate.");
  EXPECT_EQ(InstructionText(CalibrationKind::AutomaticMinimum, {}, kEnglish),
            "Please press OK when you have minimum pedal pressure to calibrate.");
  EXPECT_EQ(InstructionText(CalibrationKind::CustomMinimum, {0, 120000, 1900000}, kEnglish),
            "Please enter value for minimum calibration, then press OK.\n\t- Current Minimum: 120,000\n"
            "\t- Current Maximum: 1,900,000\n\nWarning! Minimum sensor value must never exceed Maximum sensor value.");
  EXPECT_EQ(GroupedNumber(0, kEnglish), "0");
  EXPECT_EQ(GroupedNumber(1234, std::locale::classic()), "1234");
}

TEST(CalibrationColours, StartAtTheSecondEntryAndGoOnBetweenDialogs) {
  EXPECT_EQ(CalibrationSession::NextColour(), (Ui::Rgb{181, 230, 29}));
  EXPECT_EQ(CalibrationSession::NextColour(), (Ui::Rgb{255, 201, 14}));
  EXPECT_EQ(CalibrationSession::NextColour(), (Ui::Rgb{107, 107, 107}));
  EXPECT_EQ(CalibrationSession::NextColour(), (Ui::Rgb{0, 0, 255}));
  EXPECT_EQ(CalibrationSession::NextColour(), (Ui::Rgb{255, 0, 0}));
}

}  // namespace
