#include "bench/bench_support.h"

#include <fstream>
#include <string>

namespace Quorvane::Bench {
namespace {

std::size_t StatusField(const std::string& field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field + ":", 0) == 0) {
      return std::stoull(line.substr(field.size() + 1)) * 1024;  // reported in kB
    }
  }
  return 0;
}

}  // namespace

double MeasureThroughput(std::size_t bytesPerRun, const std::function<void()>& work,
                         std::chrono::milliseconds minimum) {
  using Clock = std::chrono::steady_clock;
  work();  // warm caches and allocations
  std::size_t runs = 0;
  const auto start = Clock::now();
  auto elapsed = Clock::duration::zero();
  while (elapsed < minimum) {
    work();
    ++runs;
    elapsed = Clock::now() - start;
  }
  return static_cast<double>(bytesPerRun * runs) / std::chrono::duration<double>(elapsed).count();
}

bool ResetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return static_cast<bool>(clear);
}

std::size_t ResidentBytes() { return StatusField("VmRSS"); }
std::size_t PeakResidentBytes() { return StatusField("VmHWM"); }

}  // namespace Quorvane::Bench
