// The fault walk: every save of every file of ours is run once per call it makes (write, fsync,
// rename, link, close), with that call failing with ENOSPC, with EIO, cut short (writes), or the
// process killed there. After each trial the file must hold its old content or its new one,
// never anything else; a save that kept the old content must have reported the failure; and
// after a kill the next start must clear what the killed save left. Prints the trials and
// outcomes per file; exits 1 on any violation.
// Usage: fault_walk DRIVER PRELOAD_LIBRARY WORK_FOLDER
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/platform/atomic_file.h"
#include "tests/fault_injection/save_scenarios.h"

namespace {

using namespace Quorvane;
using FaultInjection::SaveScenario;

struct RunResult {
  bool killed = false;
  bool reported = false;
  long calls = 0;
  bool fired = false;
  long writes = 0, syncs = 0, renames = 0, links = 0, closes = 0;  // made by the save
};

std::optional<std::string> Read(const std::string& path) {
  std::error_code error;
  return Platform::ReadWholeFile(path, error);
}

// Runs the driver for one save with the fault library preloaded.
RunResult RunDriver(const std::string& driver, const std::string& preload,
                    const SaveScenario& scenario, const std::string& folder,
                    const std::string& kind, long at) {
  const std::string report = folder + ".report";
  const std::string output = folder + ".out";
  const pid_t child = fork();
  if (child == 0) {
    setenv("LD_PRELOAD", preload.c_str(), 1);
    setenv("QUORVANE_FAULT_KIND", kind.c_str(), 1);
    setenv("QUORVANE_FAULT_AT", std::to_string(at).c_str(), 1);
    setenv("QUORVANE_FAULT_REPORT", report.c_str(), 1);
    if (!freopen(output.c_str(), "w", stdout)) _exit(127);
    execl(driver.c_str(), driver.c_str(), scenario.name.c_str(), folder.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  RunResult result;
  result.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
  result.reported = Read(output).value_or("").rfind("reported", 0) == 0;
  if (!result.killed && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) {
    std::fprintf(stderr, "fault_walk: the driver ended with status %d\n", status);
    std::exit(1);
  }
  int fired = 0;
  if (const auto text = Read(report)) {
    std::sscanf(text->c_str(),
                "calls=%ld fired=%d write=%ld fsync=%ld rename=%ld link=%ld close=%ld",
                &result.calls, &fired, &result.writes, &result.syncs, &result.renames,
                &result.links, &result.closes);
  }
  result.fired = fired != 0 || result.killed;  // a killed process writes no report
  std::filesystem::remove(report);
  std::filesystem::remove(output);
  return result;
}

std::string FreshFolder(const std::string& work, const SaveScenario& scenario) {
  const std::string folder = work + "/" + scenario.name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  scenario.prepare(folder);
  return folder;
}

// Names a killed save may leave: hidden temporaries and the identifier's ".new".
std::vector<std::string> Temporaries(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name[0] == '.' || name.ends_with(".new")) found.push_back(entry.path().string());
  }
  return found;
}

// Makes leftovers look as old as they would be at a later start.
void Age(const std::vector<std::string>& paths) {
  const timespec longAgo[2] = {{1000000000, 0}, {1000000000, 0}};
  for (const auto& path : paths) utimensat(AT_FDCWD, path.c_str(), longAgo, AT_SYMLINK_NOFOLLOW);
}

struct Tally {
  std::map<std::string, int> outcomes;
  int trials = 0;
  int violations = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: fault_walk DRIVER PRELOAD_LIBRARY WORK_FOLDER\n");
    return 2;
  }
  const std::string driver = argv[1];
  const std::string preload = argv[2];
  const std::string work = argv[3];
  std::filesystem::create_directories(work);
  std::map<std::string, Tally> tallies;

  for (const auto& scenario : FaultInjection::AllSaveScenarios()) {
    // The old and new contents, from a save without faults.
    std::string folder = FreshFolder(work, scenario);
    const auto oldContent = Read(folder + "/" + scenario.file);
    const RunResult plain = RunDriver(driver, preload, scenario, folder, "none", 0);
    const auto newContent = Read(folder + "/" + scenario.file);
    if (plain.reported || !newContent) {
      std::fprintf(stderr, "fault_walk: %s does not save without faults\n", scenario.name.c_str());
      return 1;
    }
    // A durable save writes its content, syncs it, puts it in place by name and syncs the folder
    // that names it: a step left out makes no call the walk could fail, so it is counted here.
    std::printf("%s: write %ld, fsync %ld, rename %ld, link %ld, close %ld\n",
                scenario.name.c_str(), plain.writes, plain.syncs, plain.renames, plain.links,
                plain.closes);
    std::fflush(stdout);  // before the next fork, or every child would print it again
    if (plain.writes < 1 || plain.syncs < 2 || plain.renames + plain.links < 1 ||
        plain.closes < 2) {
      std::fprintf(stderr, "fault_walk: %s leaves out a step of a durable save\n",
                   scenario.name.c_str());
      return 1;
    }
    Tally& tally = tallies[scenario.name];
    for (const std::string kind : {"enospc", "eio", "short", "kill"}) {
      folder = FreshFolder(work, scenario);
      const long points = RunDriver(driver, preload, scenario, folder, kind, 0).calls;
      if (points == 0) {
        // A save without a single call to fail means the library was not loaded: nothing was tried.
        std::fprintf(stderr, "fault_walk: %s makes no %s call to fail\n", scenario.name.c_str(),
                     kind.c_str());
        return 1;
      }
      for (long at = 1; at <= points; ++at) {
        folder = FreshFolder(work, scenario);
        const RunResult run = RunDriver(driver, preload, scenario, folder, kind, at);
        const auto content = Read(folder + "/" + scenario.file);
        const bool isOld = content == oldContent;
        const bool isNew = content && (*content == *newContent ||
                                       (scenario.alsoNew && scenario.alsoNew(*content)));
        std::string outcome;
        bool violation = false;
        if (!run.fired) {
          outcome = "fault not reached";
          violation = true;
        } else if (!isOld && !isNew) {
          outcome = "PARTIAL OR LOST";
          violation = true;
        } else if (run.killed) {
          outcome = isOld ? "killed, old kept" : "killed, new in place";
          scenario.startAgain(folder);
          Age(Temporaries(folder));
          scenario.startAgain(folder);
          const auto left = Temporaries(folder);
          if (!left.empty()) {
            outcome += ", TEMPORARY LEFT " + left.front();
            violation = true;
          }
        } else if (isOld && !isNew) {
          outcome = run.reported ? "old kept, reported" : "OLD KEPT SILENTLY";
          violation = !run.reported;
        } else {
          outcome = run.reported ? "new in place, reported" : "new in place";
        }
        if (!run.killed && !Temporaries(folder).empty()) {
          outcome += ", TEMPORARY LEFT";
          violation = true;
        }
        ++tally.trials;
        ++tally.outcomes[kind + ": " + outcome];
        if (violation) {
          ++tally.violations;
          std::fprintf(stderr, "fault_walk: %s, %s at call %ld: %s\n", scenario.name.c_str(),
                       kind.c_str(), at, outcome.c_str());
        }
      }
    }
  }

  int violations = 0;
  int trials = 0;
  for (const auto& [name, tally] : tallies) {
    std::printf("%s: %d trials\n", name.c_str(), tally.trials);
    for (const auto& [outcome, count] : tally.outcomes)
      std::printf("  %4d  %s\n", count, outcome.c_str());
    violations += tally.violations;
    trials += tally.trials;
  }
  std::printf("%d trials, %d violations\n", trials, violations);
  std::filesystem::remove_all(work);
  return violations == 0 ? 0 : 1;
}
