// Installing the pending downloads of the packages in an update scope, and restarting the
// programs the command line asks for.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "updater/command_line.h"
#include "updater/updater_configuration.h"
#include "updater/updater_context.h"

namespace Quorvane::Updater {

// Runs each pending package's installers, deletes its ready file and restarts it when asked.
// Raises HvxException with the texts of the failing step.
void InstallAndRestart(const UpdaterContext& context, const UpdaterConfiguration& configuration,
                       const UpdateScopes& scopes);

}  // namespace Quorvane::Updater
