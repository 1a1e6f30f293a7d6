#include "center/app/center_settings.h"

#include <pugixml.hpp>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "common/platform/atomic_file.h"
#include "common/platform/path_text.h"

namespace Quorvane::Center {
namespace {

bool FileExists(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

struct BooleanSetting {
  const char* name;
  bool SettingsValues::*field;
};

constexpr BooleanSetting kBooleans[] = {
    {"EnableBetaSoftware", &SettingsValues::enableBetaSoftware},
    {"TopMostWindow", &SettingsValues::topMostWindow},
    {"SecureCrashRecovery", &SettingsValues::secureCrashRecovery},
};

// A settings document as it was loaded. Saving writes the root element anew and keeps the
// text around it (declaration, comments, line breaks) exactly as it was, so a save changes
// only the element texts.
struct SettingsDocument {
  pugi::xml_document document;
  std::string original;
  pugi::xml_encoding encoding = pugi::encoding_utf8;

  bool Load(const std::string& path) {
    std::error_code error;
    auto text = FileExists(path) ? Platform::ReadWholeFile(path, error) : std::nullopt;
    if (!text) {
      return false;
    }
    original = std::move(*text);
    const auto result = document.load_buffer(
        original.data(), original.size(),
        pugi::parse_default | pugi::parse_declaration | pugi::parse_pi | pugi::parse_comments |
            pugi::parse_ws_pcdata);
    encoding = result.encoding;
    return result && document.document_element();
  }

  bool Save(const std::string& path) const {
    std::ostringstream text;
    const auto root = document.document_element();
    const std::ptrdiff_t rootStart = root.offset_debug() - 1;
    if (encoding == pugi::encoding_utf8 && rootStart >= 0 &&
        static_cast<std::size_t>(rootStart) < original.size() && original[static_cast<std::size_t>(rootStart)] == '<') {
      const std::size_t end = original.find_last_not_of(" \t\r\n");
      text << original.substr(0, static_cast<std::size_t>(rootStart));
      root.print(text, "", pugi::format_raw);
      text << original.substr(end == std::string::npos ? original.size() : end + 1);
    } else {
      document.save(text, "", pugi::format_raw | pugi::format_no_declaration, encoding);
    }
    return !Platform::WriteFileAtomically(path, text.str());
  }
};

}  // namespace

bool ReadSettingsBoolean(const std::string& text) {
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char character) { return static_cast<char>(std::tolower(character)); });
  return lower != "false";
}

void CenterSettings::Load(const std::string& path) {
  SettingsDocument file;
  if (!file.Load(path)) {
    return;
  }
  pugi::xml_document& document = file.document;
  std::lock_guard lock(mutex_);
  if (const auto url = document.select_node("/settings/WebServicesUrl").node()) {
    values_.webServicesUrl = url.text().get();
  }
  bool appended = false;
  for (const auto& setting : kBooleans) {
    const auto element = document.select_node((std::string("/settings/") + setting.name).c_str()).node();
    if (element) {
      values_.*setting.field = ReadSettingsBoolean(element.text().get());
      continue;
    }
    values_.*setting.field = false;
    auto settings = document.child("settings");
    if (!settings) {
      continue;  // no /settings to append to
    }
    settings.append_child(setting.name).text().set("false");
    appended = true;
  }
  if (appended) {
    file.Save(currentPath_);
  }
}

void CenterSettings::Save(const std::string& path) {
  SettingsDocument file;
  if (!file.Load(path)) {
    return;
  }
  pugi::xml_document& document = file.document;
  std::lock_guard lock(mutex_);
  if (auto url = document.select_node("/settings/WebServicesUrl").node()) {
    url.text().set(values_.webServicesUrl.c_str());
  }
  for (const auto& setting : kBooleans) {
    if (auto element = document.select_node((std::string("/settings/") + setting.name).c_str()).node()) {
      element.text().set(values_.*setting.field ? "true" : "false");
    }
  }
  // A folder the user may not write (the program folder) fails quietly.
  file.Save(currentPath_);
}

void CenterSettings::StartUp(const std::string& programFile, const std::string& userFile) {
  {
    std::lock_guard lock(mutex_);
    currentPath_ = programFile;
  }
  Load(programFile);
  {
    std::lock_guard lock(mutex_);
    currentPath_ = userFile;
  }
  if (FileExists(userFile)) {
    Load(userFile);
    return;
  }
  std::error_code error;
  if (const auto text = Platform::ReadWholeFile(programFile, error);
      text && Platform::EnsureFolderPath(userFile)) {
    Platform::WriteFileAtomically(userFile, *text);
  }
}

SettingsValues CenterSettings::Values() const {
  std::lock_guard lock(mutex_);
  return values_;
}

void CenterSettings::SetEnableBetaSoftware(bool value) {
  std::lock_guard lock(mutex_);
  values_.enableBetaSoftware = value;
}

void CenterSettings::SetTopMostWindow(bool value) {
  std::lock_guard lock(mutex_);
  values_.topMostWindow = value;
}

void CenterSettings::SetSecureCrashRecovery(bool value) {
  std::lock_guard lock(mutex_);
  values_.secureCrashRecovery = value;
}

std::string CenterSettings::CurrentPath() const {
  std::lock_guard lock(mutex_);
  return currentPath_;
}

}  // namespace Quorvane::Center
