// Small text pieces shared by the report builders.
#pragma once

#include <cstdint>
#include <string>

namespace Halvex::Exceptions {

// Lower-case hexadecimal digits without leading zeros ("0" for zero).
std::string LowerHex(std::uint32_t value);

}  // namespace Halvex::Exceptions
