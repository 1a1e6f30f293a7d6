// The rules of calibrating one channel: which command each kind sends, how long the controller
// is then given (half-second ticks on an injected clock), the texts the dialog shows, how a typed
// custom minimum is read and checked, and the result the dialog ends with.
#pragma once

#include <cstdint>
#include <functional>
#include <locale>
#include <optional>
#include <string>
#include <string_view>

#include "common/platform/clock.h"
#include "common/ui/colour_cycle.h"

namespace Quorvane::Calibration {

enum class CalibrationKind { AutomaticMinimum, Maximum, CustomMinimum };

// How the dialog ended.
enum class CalibrationResult { DeviceChanged = 0, SendFailed = 1, Cancelled = 2, Completed = 3 };

// Ticks of 500 ms to wait after the command, and the progress bar's step per tick.
struct KindPlan {
  int ticks;
  int step;
};
KindPlan PlanOf(CalibrationKind kind);

// The row's present readings of its channel: raw value and calibration range.
struct ChannelReadings {
  std::uint32_t raw = 0;
  std::uint32_t minimum = 0;
  std::uint32_t maximum = 0;
};

inline constexpr const char* kMaximumInstruction =
    "Please press pedal to maximum within 5 seconds after you click OK to calibrate.";
inline constexpr const char* kAutomaticMinimumInstruction =
    "Please press OK when you have minimum pedal pressure to calibrate.";
inline constexpr const char* kCaptionStart = "Calibrating Controller... ";

// The instruction for a kind; the custom one lists the present range, grouped the user's way.
std::string InstructionText(CalibrationKind kind, const ChannelReadings& present,
                            const std::locale& locale);

// A number with the locale's digit grouping and no decimals; "0" when that gives nothing.
std::string GroupedNumber(std::uint32_t value, const std::locale& locale);

// The typed custom minimum: the first 255 characters read as a leading decimal number (after
// blanks, an optional sign), 0 for text that is no number. Values beyond 32 bits are kept as
// they are, so that the check can refuse them.
std::int64_t ReadCustomMinimumText(std::string_view text);

// What OK does with a typed custom minimum.
struct CustomMinimumCheck {
  enum class Verdict { Send, Confirm, Refuse };
  Verdict verdict = Verdict::Send;
  std::uint32_t value = 0;
  std::string message;  // the warning (Refuse) or the question (Confirm)
};
// A negative number is refused (it would reach the controller as 0xFFFFFFFF, the automatic
// minimum's marker), and so is one that cannot be a reading; a minimum above the present
// maximum is sent only when the user confirms.
CustomMinimumCheck CheckCustomMinimum(std::string_view text, const ChannelReadings& present,
                                      const std::locale& locale);

// The parameter the automatic minimum sends: the controller takes its present reading.
inline constexpr std::uint32_t kTakePresentReading = 0xFFFFFFFF;
// The largest custom minimum: every value below the automatic minimum's marker.
inline constexpr std::int64_t kLargestReading = 0xFFFFFFFE;

// One calibration: the command sent at OK, then the wait, tick by tick.
class CalibrationSession {
 public:
  // Sends the command of a kind with its parameter; false when it could not be sent.
  using CommandSender = std::function<bool(CalibrationKind kind, std::uint32_t parameter)>;

  CalibrationSession(Platform::Clock& clock, CommandSender send)
      : clock_(clock), send_(std::move(send)) {}

  // OK: sends the command (the automatic minimum with kTakePresentReading, the maximum without
  // parameter) and starts the wait. False when the send failed: the dialog ends with SendFailed.
  bool Start(CalibrationKind kind, std::uint32_t customMinimum = 0);
  // Counts every half second passed since the last call. True once the wait is over (the
  // dialog then ends with Completed).
  bool Advance();

  bool Waiting() const { return started_ && !Finished(); }
  bool Finished() const { return started_ && elapsed_ > plan_.ticks; }
  int ProgressPosition() const { return elapsed_ * plan_.step; }
  // "Calibrating Controller... " and, once a tick passed, "N seconds left...".
  std::string Caption() const;

  // The progress bar's colours, one a second: process-wide, starting at the table's second
  // entry and going on from dialog to dialog.
  static Ui::Rgb NextColour();

 private:
  Platform::Clock& clock_;
  CommandSender send_;
  KindPlan plan_{0, 0};
  bool started_ = false;
  int elapsed_ = 0;
  Platform::Clock::TimePoint start_{};
};

// The user's locale for numbers, or the classic one where the environment names none that exists.
std::locale UserLocale();

}  // namespace Quorvane::Calibration
