// Runs one save of the fault walk with the fault library armed around it, and prints
// "reported" when the code reported a failure, "saved" when it said it saved.
#include <dlfcn.h>

#include <cstdio>
#include <string>

#include "tests/fault_injection/save_scenarios.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fault_driver SCENARIO FOLDER\n");
    return 2;
  }
  const auto* scenario = Quorvane::FaultInjection::FindSaveScenario(argv[1]);
  if (scenario == nullptr) {
    std::fprintf(stderr, "fault_driver: no scenario %s\n", argv[1]);
    return 2;
  }
  // Present only when the fault library is preloaded; without it the save runs plainly.
  const auto arm = reinterpret_cast<void (*)(int)>(dlsym(RTLD_DEFAULT, "quorvane_fault_arm"));
  if (arm) arm(1);
  const bool reported = scenario->save(argv[2]);
  if (arm) arm(0);
  std::printf("%s\n", reported ? "reported" : "saved");
  return 0;
}
