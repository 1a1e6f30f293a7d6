#include "center/app/center_settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <pugixml.hpp>
#include <sstream>

#include "common/platform/atomic_file.h"
#include "common/platform/file_recovery.h"
#include "common/platform/path_text.h"
#include "common/service_client/xml_text.h"

namespace Quorvane::Center {
namespace {

struct BooleanSetting {
  const char* name;
  bool SettingsValues::*field;
};

constexpr BooleanSetting kBooleans[] = {
    {"EnableBetaSoftware", &SettingsValues::enableBetaSoftware},
    {"TopMostWindow", &SettingsValues::topMostWindow},
    {"SecureCrashRecovery", &SettingsValues::secureCrashRecovery},
};

// A settings document as it was loaded. It is read twice: normally, for the values, and raw (no
// line-end folding, no entity decoding), to be written back without escaping, so that every text
// the program does not change keeps its bytes, CR LF included, and the text around the root
// element is copied as it was. A file only the normal reading takes (a malformed processing
// instruction) is saved from the normal reading instead.
class SettingsDocument {
 public:
  // Reads a document from its text; false (with the reader's reason) when it has no root element.
  bool Parse(std::string text, std::string& reason) {
    original_ = std::move(text);
    const auto result = decoded_.load_buffer(original_.data(), original_.size());
    if (!result || !decoded_.document_element()) {
      reason = result ? "no root element" : result.description();
      return false;
    }
    const auto raw = raw_.load_buffer(original_.data(), original_.size(), kRawParse);
    rawLoaded_ = raw && raw_.document_element();
    encoding_ = raw.encoding;
    return true;
  }

  // The document read normally.
  const pugi::xml_document& Values() const { return decoded_; }
  // The document that is saved: changes go here.
  pugi::xml_document& Target() { return rawLoaded_ ? raw_ : decoded_; }

  void SetText(pugi::xml_node element, const std::string& text) const {
    if (!rawLoaded_) {
      element.text().set(text.c_str());
      return;
    }
    std::string escaped;
    Service::AppendEscapedText(escaped, text);
    element.text().set(escaped.c_str());
  }

  // The document as it is saved. A file that is not UTF-8 (UTF-16, say) is written as UTF-8 with
  // a declaration: written back in its own encoding it would lose its byte-order mark and
  // declaration, which other readers need to tell the encoding.
  std::string Text() const {
    std::ostringstream text;
    if (!rawLoaded_) {
      decoded_.save(text, "", pugi::format_raw, pugi::encoding_utf8);
      return text.str();
    }
    std::string spliced;
    if (SpliceRoot(spliced)) {
      return spliced;
    }
    const unsigned declaration =
        encoding_ == pugi::encoding_utf8 ? pugi::format_no_declaration : 0u;
    raw_.save(text, "", kRawFormat | declaration, pugi::encoding_utf8);
    return text.str();
  }

 private:
  // The declaration and document type are copied as text, not parsed: the raw reading must not
  // refuse what the normal one took.
  static constexpr unsigned kRawParse = (pugi::parse_default & ~pugi::parse_eol &
                                         ~pugi::parse_escapes & ~pugi::parse_wconv_attribute) |
                                        pugi::parse_pi | pugi::parse_comments |
                                        pugi::parse_ws_pcdata;

  static constexpr unsigned kRawFormat = pugi::format_raw | pugi::format_no_escapes;

  // The original text with the root element written anew. Refused (false) for a file whose text
  // around the root is not as expected (another encoding, bytes the reader ignored, a second
  // root): the result must read back to the same document.
  bool SpliceRoot(std::string& spliced) const {
    const auto root = raw_.document_element();
    const std::ptrdiff_t rootStart = root.offset_debug() - 1;
    if (encoding_ != pugi::encoding_utf8 || rootStart < 0 ||
        static_cast<std::size_t>(rootStart) >= original_.size() ||
        original_[static_cast<std::size_t>(rootStart)] != '<') {
      return false;
    }
    std::ostringstream rootText;
    root.print(rootText, "", kRawFormat);
    spliced = original_.substr(0, static_cast<std::size_t>(rootStart)) + rootText.str() +
              original_.substr(RootEnd());
    pugi::xml_document check;
    return check.load_buffer(spliced.data(), spliced.size(), kRawParse) &&
           Print(check) == Print(raw_);
  }

  static std::string Print(const pugi::xml_document& document) {
    std::ostringstream text;
    document.save(text, "", kRawFormat | pugi::format_no_declaration);
    return text.str();
  }

  // Where the root element ends in the original: only white space lies between it and the node
  // after it, so it is the last '>' before that node (or in the file).
  std::size_t RootEnd() const {
    std::size_t limit = original_.size();
    if (const auto next = raw_.document_element().next_sibling()) {
      // Nodes report the offset after their opener: "<" of an element (a second one, which the
      // reader tolerates), "<?" of a processing instruction, "<!--" of a comment.
      const std::ptrdiff_t offset = next.offset_debug();
      const std::ptrdiff_t opener = next.type() == pugi::node_comment ? 4
                                    : next.type() == pugi::node_pi    ? 2
                                                                      : 1;
      if (offset >= opener) {
        limit = static_cast<std::size_t>(offset - opener);
      }
    }
    const std::size_t close = original_.rfind('>', limit == 0 ? 0 : limit - 1);
    return close == std::string::npos ? original_.size() : close + 1;
  }

  pugi::xml_document raw_;
  pugi::xml_document decoded_;
  bool rawLoaded_ = false;
  std::string original_;
  pugi::xml_encoding encoding_ = pugi::encoding_utf8;
};

}  // namespace

bool ReadSettingsBoolean(const std::string& text) {
  std::string lower = text;
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char character) {
    return static_cast<char>(std::tolower(character));
  });
  return lower != "false";
}

bool CenterSettings::LoadText(std::string text, std::optional<std::string>& completed,
                              std::string& reason) {
  SettingsDocument file;
  if (!file.Parse(std::move(text), reason)) {
    return false;
  }
  pugi::xml_document& document = file.Target();
  std::lock_guard lock(mutex_);
  if (const auto url = file.Values().select_node("/settings/WebServicesUrl").node()) {
    values_.webServicesUrl = url.text().get();
  }
  bool appended = false;
  for (const auto& setting : kBooleans) {
    const auto element =
        file.Values().select_node((std::string("/settings/") + setting.name).c_str()).node();
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
  completed = appended ? std::optional<std::string>(file.Text()) : std::nullopt;
  return true;
}

std::optional<std::string> CenterSettings::SavedText(std::string text) const {
  SettingsDocument file;
  std::string reason;
  if (!file.Parse(std::move(text), reason)) {
    return std::nullopt;
  }
  pugi::xml_document& document = file.Target();
  std::lock_guard lock(mutex_);
  if (auto url = document.select_node("/settings/WebServicesUrl").node()) {
    file.SetText(url, values_.webServicesUrl);
  }
  for (const auto& setting : kBooleans) {
    if (auto element =
            document.select_node((std::string("/settings/") + setting.name).c_str()).node()) {
      element.text().set(values_.*setting.field ? "true" : "false");
    }
  }
  return file.Text();
}

CenterSettings::FileState CenterSettings::Load(const std::string& path, std::string& reason) {
  const auto text = ReadSettingsFile(path, reason);
  if (!text) {
    return reason.empty() ? FileState::Missing : FileState::Damaged;
  }
  std::optional<std::string> completed;
  if (!LoadText(*text, completed, reason)) {
    return FileState::Damaged;
  }
  if (completed) {
    Write(*completed);
  }
  return FileState::Read;
}

void CenterSettings::Load(const std::string& path) {
  std::string reason;
  Load(path, reason);
}

bool CenterSettings::Save(const std::string& path) {
  std::string reason;
  auto text = ReadSettingsFile(path, reason);
  if (!text) {
    if (reason.empty() || !KeepDamaged(path, reason)) {
      return false;  // no file to change, or one that could not be kept aside
    }
    // The damaged file was kept: the save starts again from the program folder's settings.
    text = ReadSettingsFile(ProgramPath(), reason);
    if (!text) {
      return false;
    }
  }
  auto saved = SavedText(*text);
  if (!saved) {
    // The file changed into something unreadable since it was read: keep it before writing.
    reason = "it is no settings document";
    if (!KeepDamaged(path, reason) || !(text = ReadSettingsFile(ProgramPath(), reason)) ||
        !(saved = SavedText(*text))) {
      return false;
    }
  }
  return Write(*saved);
}

void CenterSettings::StartUp(const std::string& programFile, const std::string& userFile,
                             Diagnostics::EventLog* eventLog) {
  {
    std::lock_guard lock(mutex_);
    eventLog_ = eventLog;
    programPath_ = programFile;
    currentPath_ = programFile;
  }
  std::string reason;
  if (Load(programFile, reason) == FileState::Damaged) {
    Warn("The program's settings " + programFile + " could not be read (" + reason +
         "); the defaults are used.");
  }
  {
    std::lock_guard lock(mutex_);
    currentPath_ = userFile;
  }
  const FileState user = Load(userFile, reason);
  if (user == FileState::Read || (user == FileState::Damaged && !KeepDamaged(userFile, reason))) {
    return;
  }
  if (const auto text = ReadSettingsFile(programFile, reason);
      text && Platform::EnsureFolderPath(userFile)) {
    Write(*text);
  }
}

std::optional<std::string> CenterSettings::ReadSettingsFile(const std::string& path,
                                                            std::string& reason) {
  reason.clear();
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 && errno == ENOENT) {
    return std::nullopt;
  }
  std::error_code error;
  auto text = S_ISREG(status.st_mode) ? Platform::ReadWholeFile(path, error) : std::nullopt;
  if (!text) {
    reason = error ? error.message() : "it is no file";
    return std::nullopt;
  }
  SettingsDocument check;
  if (!check.Parse(*text, reason)) {
    return std::nullopt;
  }
  return text;
}

bool CenterSettings::KeepDamaged(const std::string& path, const std::string& reason) {
  std::string movedTo;
  if (const auto error = Platform::MoveAsideDamaged(path, movedTo)) {
    Warn("The settings file " + path + " could not be read (" + reason + ") nor kept aside (" +
         error.message() + "); it is left as it is and the settings are not saved.");
    return false;
  }
  Warn("The settings file " + path + " could not be read (" + reason + "); it was kept as " +
       movedTo + " and the settings start again from " + ProgramPath() + ".");
  return true;
}

bool CenterSettings::Write(const std::string& text) {
  const std::string path = CurrentPath();
  if (const auto error = Platform::WriteFileAtomically(path, text)) {
    Warn("The settings could not be saved to " + path + " (" + error.message() + ").");
    return false;
  }
  return true;
}

void CenterSettings::Warn(const std::string& text) const {
  Diagnostics::EventLog* eventLog = nullptr;
  {
    std::lock_guard lock(mutex_);
    eventLog = eventLog_;
  }
  if (eventLog != nullptr) {
    Diagnostics::WriteEventLogEntry(*eventLog, Diagnostics::kCenterSource,
                                    Diagnostics::kEventWarning, text);
  }
}

std::string CenterSettings::ProgramPath() const {
  std::lock_guard lock(mutex_);
  return programPath_;
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
