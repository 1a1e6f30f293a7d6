// Whether the center can open its window: a display it can reach, or --headless to run without
// one. Decided before the toolkit starts, which would otherwise abort the process.
#pragma once

#include <string>

#include "common/platform/known_folders.h"

namespace Quorvane::Center {

inline constexpr const char* kHeadlessSwitch = "--headless";

inline constexpr const char* kNoDisplayText =
    "Kestrane needs a graphical display, and none can be reached (neither WAYLAND_DISPLAY nor "
    "DISPLAY "
    "names a running one); start it as 'Kestrane --headless' to run without a window.";

// True when the toolkit has a display to open: an offscreen or other display-free platform asked
// for by QT_QPA_PLATFORM, a Wayland socket, or an X display (a local one only when its socket
// exists; a remote one is taken on trust).
bool DisplayReachable(const Platform::EnvironmentLookup& environment);

// The command line without the --headless switch, and whether it was there.
struct CenterCommandLine {
  bool headless = false;
  std::string rest;  // the other arguments joined by blanks
};
CenterCommandLine ParseCenterCommandLine(int argc, char** argv);

}  // namespace Quorvane::Center
