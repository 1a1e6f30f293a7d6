#include "updater/updater_context.h"

namespace Quorvane::Updater {

std::string UpdaterContext::ConfigurationPath() const {
  return folders.installRoot + "/Quorvane/Updater/Tollwick.xml";
}

std::string UpdaterContext::DownloadRoot() const { return folders.localAppData + "/Quorvane/Updater/"; }

std::string UpdaterContext::DownloadFolder(const std::string& softwareId) const {
  return DownloadRoot() + softwareId + "/";
}

std::optional<std::string> UpdaterContext::InstallFolder(const std::string& softwareId) const {
  const std::string product = folders.installRoot + "/Quorvane/";
  if (softwareId == "Orlimar") return product + "Orlimar/";
  if (softwareId == "Kestrane") return product + "Kestrane/";
  if (softwareId == "Tollwick") return product + "Updater/";
  return std::nullopt;
}

}  // namespace Quorvane::Updater
