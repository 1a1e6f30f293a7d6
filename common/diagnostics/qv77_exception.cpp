#include "common/diagnostics/qv77_exception.h"

#include "common/diagnostics/hresult_names.h"
#include "common/diagnostics/report_text.h"

namespace Quorvane {

QV77Exception::QV77Exception(std::int32_t hresult, std::string message,
                             std::string errorInfoDescription)
    : hresult_(hresult),
      errorInfoDescription_(std::move(errorInfoDescription)),
      message_(std::move(message)) {}

std::string QV77Exception::ToString() const {
  std::string text = "## QV77Exception thrown. ##\n\n# HRESULT/ErrorCode\n  0x" +
                     Halvex::Exceptions::LowerHex(static_cast<std::uint32_t>(hresult_)) + " (" +
                     Halvex::COM::HResultName(hresult_) + ")\n";
  if (!message_.empty()) {
    text += "\n# Message\n  " + message_ + "\n";
  }
  if (!errorInfoDescription_.empty()) {
    text += "\n# IErrorInfo\n  " + errorInfoDescription_;
  }
  return text;
}

}  // namespace Quorvane
