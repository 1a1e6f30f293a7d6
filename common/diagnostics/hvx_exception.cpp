#include "common/diagnostics/hvx_exception.h"

#include "common/diagnostics/report_text.h"
#include "common/diagnostics/system_error_text.h"

namespace Halvex::Exceptions {

HvxException::HvxException(std::string message) : message_(std::move(message)) {}

HvxException::HvxException(std::uint32_t errorCode, std::string message)
    : errorCode_(errorCode), message_(std::move(message)) {}

HvxException::HvxException(const HvxException& other)
    : std::exception(other),
      errorCode_(other.errorCode_),
      message_(other.message_),
      inner_(other.inner_ ? other.inner_->Clone() : nullptr) {}

HvxException& HvxException::operator=(const HvxException& other) {
  if (this != &other) {
    errorCode_ = other.errorCode_;
    message_ = other.message_;
    inner_ = other.inner_ ? other.inner_->Clone() : nullptr;
  }
  return *this;
}

HvxException::~HvxException() = default;

std::unique_ptr<HvxException> HvxException::Clone() const {
  return std::make_unique<HvxException>(*this);
}

std::string HvxException::InnerReport() const {
  return inner_ ? inner_->ToString() + "\n" : std::string();
}

std::string HvxException::ToString() const {
  return "## Exception ##\nType:\nHvxException\n\nError Code:\n0x" + LowerHex(errorCode_) +
         "\n\nMessage:\n" + message_ + "\n\nWin32 Error Code Message:\n" +
         GetWin32ErrorMessage(errorCode_) +
         // This system keeps no per-thread error object: the report keeps the section, empty, so
         // that its readers find the sections they know.
         "\n\nCOM Last Error Message:\n\n\n" + InnerReport();
}

HvxArgumentException::HvxArgumentException(std::string message, std::string parameterName)
    : HvxException(std::move(message)), parameterName_(std::move(parameterName)) {}

std::unique_ptr<HvxException> HvxArgumentException::Clone() const {
  return std::make_unique<HvxArgumentException>(*this);
}

std::string HvxArgumentException::ToString() const {
  return "## Exception ##\nType:\nHvxArgumentException\n\nParameter Name:\n" + parameterName_ +
         "\n\nMessage:\n" + Message() + "\n\n" + InnerReport();
}

}  // namespace Halvex::Exceptions
