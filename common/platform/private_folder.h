// Folders only this user may use: made with mode 0700 and refused when what is there could let
// another user in (another owner, access for others, a link in its place). Shared places such as
// /tmp hold them, so a folder planted there earlier must not be taken as ours.
#pragma once

#include <string>
#include <system_error>

namespace Quorvane::Platform {

// Makes the folder (one level) when it is missing, then checks it. False with `error` set when it
// cannot be made or is not private to this user.
bool EnsurePrivateFolder(const std::string& path, std::error_code& error);

}  // namespace Quorvane::Platform
