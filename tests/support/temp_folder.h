// A fresh folder for one test, removed with everything in it when the test ends.
#pragma once

#include <string>
#include <vector>

namespace Quorvane::Testing {

class TempFolder {
 public:
  TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();

  // The folder's path, without a trailing '/'.
  const std::string& Path() const { return path_; }
  // Path() + "/" + name
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes a file in one go (test setup, not the code under test).
void WriteTextFile(const std::string& path, const std::string& content);
// The file's content, or "<missing>" when it cannot be read.
std::string ReadTextFile(const std::string& path);
// The names of the folder's entries that begin with the prefix.
std::vector<std::string> FilesStartingWith(const std::string& folder, const std::string& prefix);
// A shell script, executable.
void WriteExecutable(const std::string& path, const std::string& body);
// Waits for a file that a started program writes, and a moment more for it to be complete; its
// content, or "<missing>".
std::string AwaitFile(const std::string& path, int limitMs = 10000);
// The message of the exception of type E that `action` throws, or "<no exception>".
template <typename E, typename Action>
std::string ThrownMessage(Action action) {
  try {
    action();
  } catch (const E& error) {
    return error.Message();
  }
  return "<no exception>";
}

}  // namespace Quorvane::Testing
