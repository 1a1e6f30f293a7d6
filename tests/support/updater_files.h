// The updater's configuration text for tests: the servers asked, the packages looked after.
#pragma once

#include <string>
#include <vector>

namespace Quorvane::Testing {

inline std::string UpdaterConfigurationXml(const std::vector<std::string>& urls,
                                           const std::vector<std::string>& packageIds,
                                           const std::string& settings = "") {
  std::string text = "<updater xmlns=\"http://schemas.quorvane.example/Tollwick/2016\"><servers>";
  for (const auto& url : urls) text += "<server url=\"" + url + "\" timeoutMs=\"0\"/>";
  text += "</servers><packages>";
  for (const auto& id : packageIds) {
    text += "<package softwareID=\"" + id + "\" softwareUpdateType=\"Application\" processName=\"" +
            id +
            "\" warningBeforeKill=\"false\" timeToWaitBeforeKillMs=\"0\" "
            "timeToWaitAfterKillMs=\"0\" restart=\"false\"/>";
  }
  return text + "</packages><settings>" + settings + "</settings></updater>";
}

}  // namespace Quorvane::Testing
