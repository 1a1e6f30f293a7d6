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

// Installs each pending package's signed downloads, deletes its ready file and restarts it when
// asked. An update that is refused (its signature, the administrator) or whose installer fails is
// logged, told to the user and kept for the next attempt; the program is restarted all the same,
// and false returned. Raises HvxException with the texts of a step that could not be done.
bool InstallAndRestart(const UpdaterContext& context, const UpdaterConfiguration& configuration,
                       const UpdateScopes& scopes);

}  // namespace Quorvane::Updater
