// Base64 in the plain form the service and the stores use: no header, a CR LF after every 64
// characters and after the last line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Quorvane::Service {

// Empty input gives empty text.
std::string Base64Encode(std::string_view bytes);

// Accepts CR and LF anywhere between the characters; refuses anything else that is not Base64
// (other characters, bad padding, a length that is not a whole number of groups).
std::optional<std::string> Base64Decode(std::string_view text);

}  // namespace Quorvane::Service
