// One run of the updater: a queued command line from parsing to restart.
#pragma once

#include <string>

#include "updater/updater_context.h"

namespace Quorvane::Updater {

// Parses the command line, loads the configuration, checks and downloads, installs and
// restarts as the scopes say. Returns 0, or 1 after writing the failure to the event log.
int RunCommandLine(const UpdaterContext& context, const std::string& commandLine);

}  // namespace Quorvane::Updater
