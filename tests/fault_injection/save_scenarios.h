// The saves the fault walk tries: each writes one file of ours through the real code, from a
// known old state to a known new one.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Quorvane::FaultInjection {

struct SaveScenario {
  std::string name;
  std::string file;  // relative to the trial folder
  // Puts the old state into an empty folder (no faults: the walker runs it itself).
  std::function<void(const std::string& folder)> prepare;
  // The save under test. True when the code reported a failure (a false result, an event-log
  // entry, an exception), false when it said it saved.
  std::function<bool(const std::string& folder)> save;
  // What the next start of the program does about temporaries a killed save left.
  std::function<void(const std::string& folder)> startAgain;
  // A file of another content than the one the walker saw is still right (a new identifier).
  std::function<bool(const std::string& content)> alsoNew;
};

std::vector<SaveScenario> AllSaveScenarios();
const SaveScenario* FindSaveScenario(const std::string& name);

}  // namespace Quorvane::FaultInjection
