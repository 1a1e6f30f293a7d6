// The stand-in service as a real process on a loopback port, for tests.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/platform/process.h"
#include "tests/support/temp_folder.h"

namespace Quorvane::Testing {

// Copies the shipped sample data folder (catalogue, messages, packages) into `folder`.
void CopySampleServiceData(const std::string& folder);

class LocalServiceProcess {
 public:
  // Starts the service over the data folder with the given "Operation=behaviour" settings and
  // waits until it listens; with a signing key (a minisign secret key without a password) it
  // signs the update files it offers.
  explicit LocalServiceProcess(std::string dataFolder,
                               const std::vector<std::string>& behaviours = {},
                               const std::string& signingKey = {});
  LocalServiceProcess(const LocalServiceProcess&) = delete;
  LocalServiceProcess& operator=(const LocalServiceProcess&) = delete;
  // Stops it with SIGTERM and waits for it.
  ~LocalServiceProcess();

  int Port() const { return port_; }
  std::string Endpoint() const;
  // Changes an operation's behaviour while it runs.
  void Behave(const std::string& assignment);
  // What the service logged so far.
  std::string Log() const;
  // The exit code after a SIGTERM (for tests of the service itself).
  int Stop();

 private:
  std::string dataFolder_;
  TempFolder logFolder_;
  std::optional<Platform::Process> process_;
  int port_ = 0;
};

}  // namespace Quorvane::Testing
