#include "updater/command_line.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace Quorvane::Updater {
namespace {

std::uint32_t Scope(const std::string& text, std::string_view family, std::uint32_t all) {
  const auto has = [&](std::string_view value) {
    return text.find(std::string(family) + std::string(value)) != std::string::npos;
  };
  if (has("all")) return all;
  if (has("admin")) return 1;
  if (has("center")) return 2;
  return 0;
}

}  // namespace

UpdateScopes ParseCommandLine(std::string_view commandLine) {
  std::string text(commandLine);
  // Only ASCII letters change, as the C library's tolower does in the C locale.
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char character) {
    return character < 0x80 ? static_cast<char>(std::tolower(character))
                            : static_cast<char>(character);
  });
  UpdateScopes scopes;
  scopes.check = Scope(text, "/checkonly:", 4);
  scopes.update = Scope(text, "/updateonly:", 3);
  scopes.restart = Scope(text, "/restart:", 4);
  scopes.beta = text.find("/isbeta:true") != std::string::npos;
  return scopes;
}

}  // namespace Quorvane::Updater
