#include "common/platform/program_start.h"

#include <pthread.h>

namespace Quorvane::Platform {

std::string JoinedArguments(int argc, char** argv) {
  std::string line;
  for (int index = 1; index < argc; ++index) {
    line += (index > 1 ? " " : "") + std::string(argv[index]);
  }
  return line;
}

StopSignals::StopSignals() {
  sigemptyset(&set_);
  sigaddset(&set_, SIGTERM);
  sigaddset(&set_, SIGINT);
  pthread_sigmask(SIG_BLOCK, &set_, nullptr);
}

void StopSignals::Wait() const {
  int received = 0;
  sigwait(&set_, &received);
}

std::vector<std::string> SplitParameters(std::string_view parameters) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (const char character : parameters) {
    if (character == '"') {
      quoted = !quoted;
      inArgument = true;
    } else if ((character == ' ' || character == '\t') && !quoted) {
      if (inArgument) {
        arguments.push_back(std::move(current));
        current.clear();
        inArgument = false;
      }
    } else {
      current += character;
      inArgument = true;
    }
  }
  if (inArgument) {
    arguments.push_back(std::move(current));
  }
  return arguments;
}

}  // namespace Quorvane::Platform
