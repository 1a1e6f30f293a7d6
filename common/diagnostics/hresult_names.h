// The names of the result codes the center's exception report shows beside a code
// ("0x8007000e (E_OUTOFMEMORY)"): the codes of the maker's report format, kept as it is.
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

// "S_OK", "E_FAIL", ... for the codes above; "?" for any other.
std::string HResultName(std::int32_t hresult);

}  // namespace Halvex::COM
