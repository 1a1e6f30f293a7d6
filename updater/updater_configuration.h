// The updater's configuration file: service endpoints, the packages it looks after, settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Quorvane::Updater {

// The namespace of every element of the file.
inline constexpr const char* kConfigurationNamespace =
    "http://schemas.quorvane.example/Tollwick/2016";

struct ServerEntry {
  std::string url;
  std::int32_t timeoutMs = 0;  // read and kept; the calls take the TimeoutMS setting
};

struct PackageEntry {
  std::string softwareId;
  std::string processName;
  bool warnBeforeKill = false;
  std::int32_t waitBeforeKillMs = 0;
  std::int32_t waitAfterKillMs = 0;
  bool restart = false;
  std::uint32_t softwareUpdateType = 1;  // 0 application, 1 other
};

struct SettingEntry {
  std::string name;
  std::string value;
};

inline constexpr std::uint32_t kDefaultHeapSizeMb = 120;
inline constexpr std::uint32_t kDefaultTimeoutMs = 300000;
// How large one package's download may be, all its files together.
inline constexpr std::uint32_t kDefaultDownloadLimitMb = 1024;

class UpdaterConfiguration {
 public:
  // Reads the file; every problem raises CXmlConfigurationException with its message and code.
  void Load(const std::string& path);
  // Reads configuration text; `path` names it in messages.
  void LoadText(std::string_view text, const std::string& path);

  const std::vector<ServerEntry>& Servers() const { return servers_; }
  const std::vector<PackageEntry>& Packages() const { return packages_; }

  // The last setting of that exact name converted like the C library's _wtol, else the default.
  std::int32_t SettingNumber(const std::string& name, std::int32_t fallback) const;
  std::int32_t HeapSizeMb() const { return SettingNumber("HeapSizeMB", kDefaultHeapSizeMb); }
  std::int32_t TimeoutMs() const { return SettingNumber("TimeoutMS", kDefaultTimeoutMs); }
  std::int32_t DownloadLimitMb() const {
    return SettingNumber("DownloadLimitMB", kDefaultDownloadLimitMb);
  }

 private:
  std::vector<ServerEntry> servers_;
  std::vector<PackageEntry> packages_;
  std::vector<SettingEntry> settings_;
};

}  // namespace Quorvane::Updater
