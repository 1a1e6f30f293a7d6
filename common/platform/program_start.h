// What the programs' main functions share: their command line as one text, and waiting for
// the signals that ask a program to stop.
#pragma once

#include <signal.h>

#include <string>
#include <string_view>
#include <vector>

namespace Quorvane::Platform {

// The arguments after the program name, joined by blanks.
std::string JoinedArguments(int argc, char** argv);

// A parameter text split into arguments at blanks; double quotes group blanks into one
// argument and are removed. No shell is involved.
std::vector<std::string> SplitParameters(std::string_view parameters);

// SIGTERM and SIGINT, blocked for every thread made after construction so that one thread can
// wait for them.
class StopSignals {
 public:
  StopSignals();
  // Returns when one of them arrived.
  void Wait() const;
  const sigset_t& Set() const { return set_; }

 private:
  sigset_t set_{};
};

}  // namespace Quorvane::Platform
