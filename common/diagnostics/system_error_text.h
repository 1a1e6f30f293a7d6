// Texts the operating system gives for its error codes, as used in every error report.
#pragma once

#include <cstdint>
#include <string>

namespace Halvex::Exceptions {

// The C library's text for an errno value; empty when the system knows no such code.
std::string GetWin32ErrorMessage(std::uint32_t errorCode);

}  // namespace Halvex::Exceptions
