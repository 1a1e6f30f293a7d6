// Path texts: the directory of a path, and creating the folder chain above a file.
#pragma once

#include <string>
#include <string_view>

namespace Quorvane::Platform {

// Everything up to and including the last '/'; empty when there is none. A backslash is a
// character of a name.
std::string DirectoryOfPath(std::string_view path);

// Creates every missing folder above the file (at most the 20 lowest levels; higher ones must
// exist). True when the file's folder exists afterwards.
bool EnsureFolderPath(std::string_view filePath);

// Creates the folder and its missing parents, looking at most `maxLevels` levels up. True when
// the folder exists afterwards.
bool CreateFolderChain(std::string_view folderPath, int maxLevels);

}  // namespace Quorvane::Platform
