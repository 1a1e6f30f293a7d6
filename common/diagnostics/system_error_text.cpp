#include "common/diagnostics/system_error_text.h"

#include <climits>
#include <cstring>

namespace Halvex::Exceptions {

std::string GetWin32ErrorMessage(std::uint32_t errorCode) {
  if (errorCode > static_cast<std::uint32_t>(INT_MAX)) {
    return {};
  }
  const int code = static_cast<int>(errorCode);
  // Only codes the system has a name for have a text of their own; for the others the C
  // library would invent "Unknown error N", which is not a system text.
  if (code != 0 && strerrorname_np(code) == nullptr) {
    return {};
  }
  char buffer[256] = {};
  return strerror_r(code, buffer, sizeof buffer);
}

}  // namespace Halvex::Exceptions
