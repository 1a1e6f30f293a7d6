// The failure of a component call, carried with its HRESULT and the texts captured when it
// was raised; and the names of the HRESULTs the programs report.
#pragma once

#include <cstdint>
#include <string>

namespace Halvex::COM {

inline constexpr std::int32_t kSOk = 0;
inline constexpr std::int32_t kSFalse = 1;
inline constexpr std::int32_t kEFail = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t kEOutOfMemory = static_cast<std::int32_t>(0x8007000Eu);
inline constexpr std::int32_t kEHandle = static_cast<std::int32_t>(0x80070006u);
inline constexpr std::int32_t kEInvalidArg = static_cast<std::int32_t>(0x80070057u);
inline constexpr std::int32_t kClassNotAvailable = static_cast<std::int32_t>(0x80040111u);
inline constexpr std::int32_t kENoInterface = static_cast<std::int32_t>(0x80004002u);

// "S_OK", "E_FAIL", ... for the HRESULTs above; "?" for any other.
std::string HResultName(std::int32_t hresult);

// The system's text for an HRESULT; empty when it has none.
std::string HResultMessage(std::int32_t hresult);

class ComException {
 public:
  // Captures, on the raising thread, the COM error description and the system text.
  explicit ComException(std::int32_t hresult);

  std::int32_t Result() const { return hresult_; }
  const std::string& Text() const { return text_; }
  const std::string& ErrorInfoDescription() const { return errorInfoDescription_; }
  const std::string& SystemMessage() const { return systemMessage_; }

 private:
  std::int32_t hresult_;
  std::string text_;  // always empty: the class never gets a text of its own
  std::string errorInfoDescription_;
  std::string systemMessage_;
};

}  // namespace Halvex::COM
