#include "center/app/display_check.h"

#include <sys/stat.h>

#include <cctype>
#include <string_view>

namespace Quorvane::Center {
namespace {

bool IsSocket(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 && S_ISSOCK(status.st_mode);
}

bool WaylandReachable(const Platform::EnvironmentLookup& environment) {
  const auto name = environment("WAYLAND_DISPLAY");
  if (!name || name->empty()) {
    return false;
  }
  if (name->front() == '/') {
    return IsSocket(*name);
  }
  const auto runtime = environment("XDG_RUNTIME_DIR");
  return runtime && !runtime->empty() && IsSocket(*runtime + "/" + *name);
}

bool X11Reachable(const Platform::EnvironmentLookup& environment) {
  const auto display = environment("DISPLAY");
  if (!display || display->empty()) {
    return false;
  }
  const std::string_view text = *display;
  const auto colon = text.rfind(':');
  if (colon == std::string_view::npos) {
    return false;
  }
  const std::string_view host = text.substr(0, colon);
  if (!host.empty() && host != "unix") {
    return true;  // over the network (ssh forwarding): only the toolkit can tell
  }
  std::string number;
  for (std::size_t at = colon + 1;
       at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
    number += text[at];
  }
  return !number.empty() && IsSocket("/tmp/.X11-unix/X" + number);
}

}  // namespace

bool DisplayReachable(const Platform::EnvironmentLookup& environment) {
  if (const auto platform = environment("QT_QPA_PLATFORM")) {
    for (const char* displayFree : {"offscreen", "minimal", "vnc", "linuxfb", "eglfs"}) {
      if (platform->rfind(displayFree, 0) == 0) {
        return true;
      }
    }
  }
  return WaylandReachable(environment) || X11Reachable(environment);
}

CenterCommandLine ParseCenterCommandLine(int argc, char** argv) {
  CenterCommandLine parsed;
  for (int index = 1; index < argc; ++index) {
    const std::string argument = argv[index];
    if (argument == kHeadlessSwitch) {
      parsed.headless = true;
      continue;
    }
    if (!parsed.rest.empty()) {
      parsed.rest += ' ';
    }
    parsed.rest += argument;
  }
  return parsed;
}

}  // namespace Quorvane::Center
