// The updater's command line: which programs to check, update and restart.
#pragma once

#include <cstdint>
#include <string_view>

namespace Quorvane::Updater {

// The three switch families number "all" differently: check and restart use 4, update uses 3.
struct UpdateScopes {
  std::uint32_t check = 0;    // 1 admin, 2 center, 4 all
  std::uint32_t update = 0;   // 1 admin, 2 center, 3 all
  std::uint32_t restart = 0;  // 1 admin, 2 center, 4 all
  bool beta = false;
};

// Switches are found anywhere in the lower-cased text, in any order; "all" wins over "admin",
// "admin" over "center"; anything else is ignored.
UpdateScopes ParseCommandLine(std::string_view commandLine);

}  // namespace Quorvane::Updater
