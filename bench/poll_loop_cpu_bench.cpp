// The center's poll loop over four simulated quad controllers, for 10 s with the window active
// and 10 s inactive: the process's CPU time as a share of one core (targets: under 2 % active,
// under 0.5 % inactive). The baseline, in the same run, is a thread that only wakes every 10 ms.
//
//   bench_poll_loop_cpu [seconds per phase, default 10]
#include <sys/resource.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "center/app/application.h"
#include "center/device/simulated_backend.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;
using namespace std::chrono_literals;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The share of one core the process used while `wait` ran.
template <typename Wait>
double CoreShare(Wait wait) {
  const double cpuBefore = CpuSeconds();
  const auto before = std::chrono::steady_clock::now();
  wait();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
  return (CpuSeconds() - cpuBefore) / elapsed;
}

}  // namespace

int main(int argc, char** argv) {
  const auto phase = std::chrono::seconds(argc > 1 ? std::atoi(argv[1]) : 10);

  // Baseline: a thread that wakes every 10 ms and does nothing else.
  std::atomic<bool> stop{false};
  std::thread idle([&] {
    while (!stop) std::this_thread::sleep_for(10ms);
  });
  const double baseline = CoreShare([&] { std::this_thread::sleep_for(phase); });
  stop = true;
  idle.join();

  const auto quad = Device::SimulatedBackend::ReadDescriptionFile(
                        std::string(QUORVANE_SIMULATED_DIR) + "/quad-buttons.xml")
                        .at(0);
  std::vector<Device::SimulatedController> controllers(4, quad);
  for (std::size_t index = 0; index < controllers.size(); ++index) {
    controllers[index].path = "sim/quad-" + std::to_string(index);
    controllers[index].serial = "QVB-" + std::to_string(index);
  }
  Platform::SystemClock clock;
  Device::SimulatedBackend backend(controllers, clock);
  Testing::TempFolder folder;
  Platform::KnownFolders folders{folder.File("data"), folder.Path() + "/", folder.Path() + "/",
                                 folder.Path()};
  Diagnostics::RecordingEventLog log;
  Diagnostics::RecordingUserNotifier notifier;
  // No service: the lookups and workers fail at once and then sleep.
  Center::CApplication application(
      {folders, {"http://127.0.0.1:1/x"}, backend, log, notifier, clock});
  application.StartUp("");
  Center::NoCenterView view;
  application.StartPollThread(view);
  std::this_thread::sleep_for(1s);
  const double active = CoreShare([&] { std::this_thread::sleep_for(phase); });
  application.SetWindowActive(false);
  std::this_thread::sleep_for(100ms);
  const double inactive = CoreShare([&] { std::this_thread::sleep_for(phase); });
  application.Shutdown();

  std::printf("rows: %zu, phase: %lld s\n", application.Devices().rows.size(),
              static_cast<long long>(phase.count()));
  std::printf("baseline (10 ms wake-ups only): %.3f %% of one core\n", 100 * baseline);
  std::printf(
      "poll loop, window active:       %.3f %% of one core (%.1fx baseline; target < 2 %%)\n",
      100 * active, active / baseline);
  std::printf(
      "poll loop, window inactive:     %.3f %% of one core (%.1fx baseline; target < 0.5 %%)\n",
      100 * inactive, inactive / baseline);
  return active < 0.02 && inactive < 0.005 ? 0 : 1;
}
