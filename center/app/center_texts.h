// Texts the center's window shows that follow a rule: its title with the running time, the
// About text, and the fixed questions.
#pragma once

#include <cstdint>
#include <string>

#include "common/platform/file_version.h"

namespace Quorvane::Center {

inline constexpr const char* kDisplayName = "Kestrane";
inline constexpr const char* kWindowClassName = "KESTRANE";
inline constexpr const char* kExitQuestion = "Do you really want to quit Kestrane?";
inline constexpr const char* kExitCaption = "Confirmation";

// "Kestrane | v1.2.3.4"
std::string BaseWindowTitle(const Platform::FileVersion& version);
// The base title + " | " + the running time ("Kestrane | v1.0.0.0 | 1 hour 00:02").
std::string WindowTitle(const std::string& baseTitle, std::uint64_t runningMilliseconds);
// "Kestrane, Version 1.2.3.4"
std::string AboutText(const Platform::FileVersion& version);

}  // namespace Quorvane::Center
