// Asking the service for newer versions of the packages and storing what it delivers, with an
// updates-ready file per package. The files are written while the answer arrives.
#pragma once

#include <string>
#include <vector>

#include "common/platform/file_version.h"
#include "updater/command_line.h"
#include "updater/updater_configuration.h"
#include "updater/updater_context.h"

namespace Quorvane::Updater {

// <checkForUpdateRequest softwareUpdateType requestType="1" softwareID><version .../></...>
std::string BuildCheckForUpdateRequest(const PackageEntry& package,
                                       const Platform::FileVersion& installed);

// Checks every package in scope against the configured servers and downloads what is newer.
void CheckAndDownload(const UpdaterContext& context, const UpdaterConfiguration& configuration,
                      const UpdateScopes& scopes);

}  // namespace Quorvane::Updater
