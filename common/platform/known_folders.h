// Where the programs keep their files: the per-user data folder, the temporary folder, the
// program's own folder, the install root and the runtime folder for locks.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Quorvane::Platform {

// Reads an environment variable; empty optional when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(std::string_view name)>;

EnvironmentLookup ProcessEnvironment();

struct KnownFolders {
  std::string localAppData;   // no trailing '/': callers append "/Quorvane/..."
  std::string temp;           // with a trailing '/'
  std::string programFolder;  // the running executable's folder, with a trailing '/'
  std::string installRoot;    // <root> of <root>/Quorvane/<Program>/<Program>, no trailing '/'
};

// The folders of this process: $XDG_DATA_HOME (else $HOME/.local/share), $TMPDIR (else /tmp),
// and the folders of the given executable path.
KnownFolders DiscoverKnownFolders(const EnvironmentLookup& environment,
                                  const std::string& executablePath);

// The folders of the running process.
KnownFolders DiscoverKnownFolders();

// The running executable's path (/proc/self/exe resolved); empty when it cannot be read.
std::string RunningExecutablePath();

// The install root of an executable installed as <root>/Quorvane/<Program>/<Program>; for an
// executable elsewhere (a build tree), the default install root "/opt".
std::string InstallRootOf(const std::string& executablePath);

// Locks live here: $XDG_RUNTIME_DIR; else the session's /run/user/<uid> when it is this user's
// own; else a folder in the user's cache folder ($XDG_CACHE_HOME, else ~/.cache) + "/Quorvane/run",
// made with mode 0700. Never a name in a shared folder such as /tmp, which another user could
// take first. Empty optional (errno set) when the folder cannot be had or is not private.
std::optional<std::string> RuntimeFolder(const EnvironmentLookup& environment);

}  // namespace Quorvane::Platform
