// A fresh folder for one test, removed with everything in it when the test ends.
#pragma once

#include <string>

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

}  // namespace Quorvane::Testing
