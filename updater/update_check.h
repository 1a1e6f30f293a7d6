// Asking the service for newer versions of the packages and storing what it delivers, with an
// updates-ready file per package.
#pragma once

#include <string>
#include <vector>

#include "common/platform/file_version.h"
#include "updater/command_line.h"
#include "updater/updater_configuration.h"
#include "updater/updater_context.h"

namespace Quorvane::Updater {

struct DownloadedFile {
  std::string content;  // bytes
  std::string fileName;
  std::uint32_t size = 0;  // from the descriptor
  std::string mimeType;
  std::string installCommand;
};

struct UpdateResponse {
  Platform::FileVersion version;
  std::uint32_t softwareUpdateType = 0;
  std::uint32_t responseType = 0;
  std::string softwareId;
  std::vector<DownloadedFile> files;
};

// <checkForUpdateRequest softwareUpdateType requestType="1" softwareID><version .../></...>
std::string BuildCheckForUpdateRequest(const PackageEntry& package, const Platform::FileVersion& installed);

// Reads the service's answer: the response document, then descriptor and content per file. The
// strings are consumed (contents move into the files). Raises HvxArgumentException "Error
// loading xml configuration file from param" for a missing or unloadable document (also an
// empty answer and a descriptor without its content), HvxException "DocumentElement missing"
// and "CryptStringToBinary failed".
UpdateResponse ParseUpdateResponse(std::vector<std::string>& strings);

// A file name the service may give: a plain name that stays inside the download folder.
bool IsSafeDownloadName(const std::string& name);

// Checks every package in scope against the configured servers and downloads what is newer.
void CheckAndDownload(const UpdaterContext& context, const UpdaterConfiguration& configuration,
                      const UpdateScopes& scopes);

}  // namespace Quorvane::Updater
