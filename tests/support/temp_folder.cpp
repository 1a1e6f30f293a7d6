#include "tests/support/temp_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace Quorvane::Testing {

TempFolder::TempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/quorvane-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = buffer.data();
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  // Folders a test made read-only must be writable again to be removed.
  for (auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    if (entry.is_directory(ignored)) {
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::remove_all(path_, ignored);
}

void WriteTextFile(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
  if (!file) {
    throw std::runtime_error("cannot write " + path);
  }
}

std::string ReadTextFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return "<missing>";
  }
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(prefix, 0) == 0) {
      names.push_back(std::move(name));
    }
  }
  return names;
}

void WriteExecutable(const std::string& path, const std::string& body) {
  WriteTextFile(path, "#!/bin/sh\n" + body + "\n");
  chmod(path.c_str(), 0755);
}

std::string AwaitFile(const std::string& path, int limitMs) {
  for (int waited = 0; waited < limitMs && access(path.c_str(), F_OK) != 0; waited += 5) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  return ReadTextFile(path);
}

}  // namespace Quorvane::Testing
