// The center with its window: the main window and tray icon over the core, from showing the
// window to the user's Exit and the shutdown after it.
#pragma once

#include <signal.h>

#include <functional>

#include "center/app/application.h"
#include "common/platform/file_version.h"

namespace Quorvane::Center {

class QtUserNotifier;

// Shows the window over the started-up core, starts the poll thread and runs until the user
// quits or one of the stop signals (blocked by the caller) arrives. `shutdown` then ends the
// core while the window still exists. Returns the exit code; an exception that a slot or timer let
// escape into the event loop ends it and is thrown again after the shutdown.
int RunWindow(CApplication& application, QtUserNotifier& notifier,
              const Platform::FileVersion& version, const sigset_t& stopSignals,
              const std::function<void()>& shutdown);

}  // namespace Quorvane::Center
