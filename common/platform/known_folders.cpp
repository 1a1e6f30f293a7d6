#include "common/platform/known_folders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "common/platform/path_text.h"
#include "common/platform/private_folder.h"

namespace Quorvane::Platform {
namespace {

constexpr std::string_view kDefaultInstallRoot = "/opt";

std::string WithoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

std::string WithTrailingSlash(std::string path) {
  if (path.empty() || path.back() != '/') {
    path += '/';
  }
  return path;
}

// Only absolute values count: a relative XDG path is invalid by definition.
std::optional<std::string> AbsoluteValue(const EnvironmentLookup& environment,
                                         std::string_view name) {
  auto value = environment(name);
  if (value && !value->empty() && value->front() == '/') {
    return value;
  }
  return std::nullopt;
}

std::string HomeFolder(const EnvironmentLookup& environment) {
  if (auto home = AbsoluteValue(environment, "HOME")) {
    return *home;
  }
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "/";
}

}  // namespace

EnvironmentLookup ProcessEnvironment() {
  return [](std::string_view name) -> std::optional<std::string> {
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) {
      return std::nullopt;
    }
    return std::string(value);
  };
}

std::string RunningExecutablePath() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

std::string InstallRootOf(const std::string& executablePath) {
  // <root>/Quorvane/<Program>/<Program>: the folder two levels up must be "Quorvane".
  const std::filesystem::path executable(executablePath);
  const auto programFolder = executable.parent_path();
  const auto productFolder = programFolder.parent_path();
  if (productFolder.filename() == "Quorvane" && productFolder.has_parent_path()) {
    return WithoutTrailingSlash(productFolder.parent_path().string());
  }
  return std::string(kDefaultInstallRoot);
}

KnownFolders DiscoverKnownFolders(const EnvironmentLookup& environment,
                                  const std::string& executablePath) {
  KnownFolders folders;
  if (auto dataHome = AbsoluteValue(environment, "XDG_DATA_HOME")) {
    folders.localAppData = WithoutTrailingSlash(*dataHome);
  } else {
    folders.localAppData = WithoutTrailingSlash(HomeFolder(environment)) + "/.local/share";
  }
  folders.temp = WithTrailingSlash(AbsoluteValue(environment, "TMPDIR").value_or("/tmp"));
  folders.programFolder = DirectoryOfPath(executablePath);
  folders.installRoot = InstallRootOf(executablePath);
  return folders;
}

KnownFolders DiscoverKnownFolders() {
  return DiscoverKnownFolders(ProcessEnvironment(), RunningExecutablePath());
}

std::optional<std::string> RuntimeFolder(const EnvironmentLookup& environment) {
  if (auto runtime = AbsoluteValue(environment, "XDG_RUNTIME_DIR")) {
    return WithoutTrailingSlash(*runtime);
  }
  std::error_code error;
  const std::string session = "/run/user/" + std::to_string(getuid());
  struct stat status {};
  if (lstat(session.c_str(), &status) == 0 && EnsurePrivateFolder(session, error)) {
    return session;
  }
  const std::string cache = WithoutTrailingSlash(
      AbsoluteValue(environment, "XDG_CACHE_HOME")
          .value_or(WithoutTrailingSlash(HomeFolder(environment)) + "/.cache"));
  // The folders above it are the user's own, in their home: only the last must be private.
  mkdir(cache.c_str(), 0700);
  mkdir((cache + "/Quorvane").c_str(), 0700);
  const std::string folder = cache + "/Quorvane/run";
  if (!EnsurePrivateFolder(folder, error)) {
    errno = error.value();
    return std::nullopt;
  }
  return folder;
}

}  // namespace Quorvane::Platform
