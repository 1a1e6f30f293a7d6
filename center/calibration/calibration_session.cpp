#include "center/calibration/calibration_session.h"

#include <cctype>
#include <chrono>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace Quorvane::Calibration {
namespace {

constexpr std::size_t kMaximumTextLength = 255;

}  // namespace

KindPlan PlanOf(CalibrationKind kind) {
  switch (kind) {
    case CalibrationKind::AutomaticMinimum:
      return {90, 1};
    case CalibrationKind::Maximum:
      return {10, 10};
    case CalibrationKind::CustomMinimum:
      return {2, 1};
  }
  return {0, 0};
}

std::string GroupedNumber(std::uint32_t value, const std::locale& locale) {
  std::ostringstream text;
  text.imbue(locale);
  text << value;
  const std::string grouped = text.str();
  return grouped.empty() ? "0" : grouped;
}

std::string InstructionText(CalibrationKind kind, const ChannelReadings& present,
                            const std::locale& locale) {
  switch (kind) {
    case CalibrationKind::Maximum:
      return kMaximumInstruction;
    case CalibrationKind::AutomaticMinimum:
      return kAutomaticMinimumInstruction;
    case CalibrationKind::CustomMinimum:
      return "Please enter value for minimum calibration, then press OK.\n\t- Current Minimum: " +
             GroupedNumber(present.minimum, locale) +
             "\n\t- Current Maximum: " + GroupedNumber(present.maximum, locale) +
             "\n\nWarning! Minimum sensor value must never exceed Maximum sensor value.";
  }
  return {};
}

std::int64_t ReadCustomMinimumText(std::string_view text) {
  text = text.substr(0, std::min(text.size(), kMaximumTextLength));
  std::size_t at = 0;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
    negative = text[at] == '-';
    ++at;
  }
  std::int64_t value = 0;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
    // Anything past the largest reading is refused whatever its size; stop counting there.
    value = std::min<std::int64_t>(value * 10 + (text[at] - '0'), kLargestReading + 1);
  }
  return negative ? -value : value;
}

CustomMinimumCheck CheckCustomMinimum(std::string_view text, const ChannelReadings& present,
                                      const std::locale& locale) {
  CustomMinimumCheck check;
  const std::int64_t value = ReadCustomMinimumText(text);
  if (value < 0) {
    check.verdict = CustomMinimumCheck::Verdict::Refuse;
    check.message = "The minimum must not be negative. Please enter a sensor value of 0 or more.";
    return check;
  }
  if (value > kLargestReading) {
    check.verdict = CustomMinimumCheck::Verdict::Refuse;
    check.message = "The minimum must be a sensor value of at most " +
                    GroupedNumber(kLargestReading, locale) + ".";
    return check;
  }
  check.value = static_cast<std::uint32_t>(value);
  if (check.value > present.maximum) {
    check.verdict = CustomMinimumCheck::Verdict::Confirm;
    check.message = "The minimum " + GroupedNumber(check.value, locale) +
                    " is above the present maximum " + GroupedNumber(present.maximum, locale) +
                    ". The pedal would not work until it is calibrated again.\n\nSend it anyway?";
  }
  return check;
}

bool CalibrationSession::Start(CalibrationKind kind, std::uint32_t customMinimum) {
  bool sent = false;
  switch (kind) {
    case CalibrationKind::AutomaticMinimum:
      sent = send_(kind, kTakePresentReading);
      break;
    case CalibrationKind::Maximum:
      sent = send_(kind, 0);
      break;
    case CalibrationKind::CustomMinimum:
      sent = send_(kind, customMinimum);
      break;
  }
  if (!sent) {
    return false;
  }
  plan_ = PlanOf(kind);
  started_ = true;
  elapsed_ = 0;
  start_ = clock_.Now();
  return true;
}

bool CalibrationSession::Advance() {
  if (!started_) {
    return false;
  }
  using namespace std::chrono;
  const auto ticks =
      static_cast<int>(duration_cast<milliseconds>(clock_.Now() - start_).count() / 500);
  while (elapsed_ < ticks && !Finished()) {
    ++elapsed_;
  }
  return Finished();
}

std::string CalibrationSession::Caption() const {
  if (!started_ || elapsed_ == 0) {
    return kCaptionStart;
  }
  return std::string(kCaptionStart) + std::to_string((plan_.ticks - elapsed_) / 2 + 1) +
         " seconds left...";
}

Ui::Rgb CalibrationSession::NextColour() {
  static std::mutex lock;
  static Ui::ColourCycle cycle(1);
  std::lock_guard guard(lock);
  return cycle.Next();
}

std::locale UserLocale() {
  try {
    return std::locale("");
  } catch (const std::runtime_error&) {
    return std::locale::classic();
  }
}

}  // namespace Quorvane::Calibration
