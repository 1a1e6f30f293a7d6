#include "common/diagnostics/hresult_names.h"

#include <array>
#include <utility>

namespace Halvex::COM {

std::string HResultName(std::int32_t hresult) {
  static constexpr std::array<std::pair<std::int32_t, const char*>, 8> kNames{{
      {kSOk, "S_OK"},
      {kSFalse, "S_FALSE"},
      {kEFail, "E_FAIL"},
      {kEOutOfMemory, "E_OUTOFMEMORY"},
      {kEHandle, "E_HANDLE"},
      {kEInvalidArg, "E_INVALIDARG"},
      {kClassNotAvailable, "CLASS_E_CLASSNOTAVAILABLE"},
      {kENoInterface, "E_NOINTERFACE"},
  }};
  for (const auto& [code, name] : kNames) {
    if (code == hresult) return name;
  }
  return "?";
}

}  // namespace Halvex::COM
