#include "common/diagnostics/report_text.h"

#include <charconv>

namespace Halvex::Exceptions {

std::string LowerHex(std::uint32_t value) {
  char digits[8];
  const auto result = std::to_chars(digits, digits + sizeof digits, value, 16);
  return std::string(digits, result.ptr);
}

}  // namespace Halvex::Exceptions
