#include "common/diagnostics/com_exception.h"

#include <array>
#include <utility>

#include "common/diagnostics/system_error_text.h"

namespace Halvex::COM {
namespace {

struct KnownResult {
  std::int32_t hresult;
  const char* name;
  const char* message;
};

constexpr std::array kKnownResults{
    KnownResult{kSOk, "S_OK", "The operation completed successfully."},
    KnownResult{kSFalse, "S_FALSE", "The operation completed without doing anything."},
    KnownResult{kEFail, "E_FAIL", "Unspecified error"},
    KnownResult{kEOutOfMemory, "E_OUTOFMEMORY", "Not enough memory to complete this operation."},
    KnownResult{kEHandle, "E_HANDLE", "The handle is invalid."},
    KnownResult{kEInvalidArg, "E_INVALIDARG", "The parameter is incorrect."},
    KnownResult{kClassNotAvailable, "CLASS_E_CLASSNOTAVAILABLE", "Class not available"},
    KnownResult{kENoInterface, "E_NOINTERFACE", "No such interface supported"},
};

const KnownResult* Find(std::int32_t hresult) {
  for (const auto& known : kKnownResults) {
    if (known.hresult == hresult) {
      return &known;
    }
  }
  return nullptr;
}

}  // namespace

std::string HResultName(std::int32_t hresult) {
  const KnownResult* known = Find(hresult);
  return known ? known->name : "?";
}

std::string HResultMessage(std::int32_t hresult) {
  const KnownResult* known = Find(hresult);
  return known ? known->message : std::string();
}

ComException::ComException(std::int32_t hresult)
    : hresult_(hresult),
      errorInfoDescription_(Halvex::Exceptions::GetComErrorDescription()),
      systemMessage_(HResultMessage(hresult)) {}

}  // namespace Halvex::COM
