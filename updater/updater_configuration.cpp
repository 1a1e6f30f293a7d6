#include "updater/updater_configuration.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <pugixml.hpp>

#include "common/diagnostics/hvx_exception.h"
#include "common/diagnostics/xml_configuration_exception.h"
#include "common/platform/atomic_file.h"
#include "common/service_client/xml_document.h"
#include "common/service_client/xml_text.h"

namespace Quorvane::Updater {
namespace {

using Config::CXmlConfigurationException;

// The result codes of the DOM steps that fail here: a load that reports failure, and a
// selection or look-up that succeeds without finding a node.
constexpr std::uint32_t kFalse = 1;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char character) {
    return static_cast<char>(std::tolower(character));
  });
  return text;
}

// As _wtol converts: a value beyond the 32-bit range saturates at its end, never wraps.
std::int32_t LongValue(const std::string& text) {
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  return static_cast<std::int32_t>(std::clamp<long long>(value, INT32_MIN, INT32_MAX));
}

// One attribute of an element, or the configuration error that names it.
std::string Attribute(const pugi::xml_node& element, const char* elementName, const char* name) {
  const auto attribute = element.attribute(name);
  if (!attribute) {
    throw CXmlConfigurationException(
        kFalse, std::string("Failed to getNamedItem on |") + elementName + ", " + name + "|.");
  }
  return attribute.value();
}

pugi::xml_node Section(const pugi::xml_document& document, const char* name) {
  const auto selected =
      document.select_node((std::string("//ns:updater/ns:") + name).c_str()).node();
  if (!selected) {
    throw CXmlConfigurationException(
        kFalse, std::string("Invalid Selection of |") + name + "| IXMLDOMNode->selectSingleNode.");
  }
  return selected;
}

template <typename Read>
void ReadList(const pugi::xml_node& section, const char* element, Read read) {
  for (const auto& selected : section.select_nodes((std::string("ns:") + element).c_str())) {
    read(selected.node());
  }
}

}  // namespace

void UpdaterConfiguration::Load(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
    throw CXmlConfigurationException(0, "File '" + path + "' is Invalid.");
  }
  std::error_code error;
  const auto text = Platform::ReadWholeFile(path, error);
  if (!text) {
    throw CXmlConfigurationException(0, "File '" + path + "' is Invalid.");
  }
  LoadText(*text, path);
}

void UpdaterConfiguration::LoadText(std::string_view text, const std::string& path) {
  pugi::xml_document document;
  if (!Service::LoadXmlText(document, text)) {
    throw CXmlConfigurationException(kFalse,
                                     "Error loading xml configuration file '" + path + "'.");
  }
  Service::BindNamespacePrefix(document, "ns", kConfigurationNamespace);

  const auto servers = Section(document, "servers");
  servers_.clear();
  ReadList(servers, "server", [&](const pugi::xml_node& node) {
    ServerEntry entry;
    entry.url = Attribute(node, "server", "url");
    entry.timeoutMs = LongValue(Attribute(node, "server", "timeoutMs"));
    servers_.push_back(std::move(entry));
  });

  const auto packages = Section(document, "packages");
  packages_.clear();
  ReadList(packages, "package", [&](const pugi::xml_node& node) {
    PackageEntry entry;
    entry.softwareId = Attribute(node, "package", "softwareID");
    entry.softwareUpdateType =
        Attribute(node, "package", "softwareUpdateType") == "Application" ? 0 : 1;
    entry.processName = Attribute(node, "package", "processName");
    entry.warnBeforeKill = Lower(Attribute(node, "package", "warningBeforeKill")) == "true";
    entry.waitBeforeKillMs = LongValue(Attribute(node, "package", "timeToWaitBeforeKillMs"));
    entry.waitAfterKillMs = LongValue(Attribute(node, "package", "timeToWaitAfterKillMs"));
    entry.restart = Lower(Attribute(node, "package", "restart")) == "true";
    packages_.push_back(std::move(entry));
  });

  const auto settings = Section(document, "settings");
  settings_.clear();
  ReadList(settings, "setting", [&](const pugi::xml_node& node) {
    settings_.push_back({Attribute(node, "setting", "name"), Attribute(node, "setting", "value")});
  });
}

std::int32_t UpdaterConfiguration::SettingNumber(const std::string& name,
                                                 std::int32_t fallback) const {
  std::int32_t value = fallback;
  for (const auto& setting : settings_) {
    if (setting.name == name) {
      value = LongValue(setting.value);
    }
  }
  return value;
}

}  // namespace Quorvane::Updater
