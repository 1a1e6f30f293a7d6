// One live pass over four simulated quad controllers with two buttons each (28 rows): every
// controller's five reports read once and every row decoded. Target: under 50 us per pass, far
// below the 10 ms poll period. The baseline, measured in the same run, is the same pass without
// report requests (decoding and block copies only).
#include <benchmark/benchmark.h>

#include "center/device/device_discovery.h"
#include "center/device/live_data.h"
#include "center/device/simulated_backend.h"

namespace {

using namespace Quorvane;
using namespace Quorvane::Device;

struct FourQuads {
  Platform::SystemClock clock;
  std::unique_ptr<SimulatedBackend> backend;
  DeviceList list;

  FourQuads() {
    const SimulatedController quad = SimulatedBackend::ReadDescriptionFile(
                                         std::string(QUORVANE_SIMULATED_DIR) + "/quad-buttons.xml")
                                         .at(0);
    std::vector<SimulatedController> controllers(4, quad);
    for (std::size_t index = 0; index < controllers.size(); ++index) {
      controllers[index].path = "sim/quad-" + std::to_string(index);
      controllers[index].serial = "QVB-" + std::to_string(index);
    }
    backend = std::make_unique<SimulatedBackend>(controllers, clock);
    Diagnostics::RecordingEventLog log;
    Diagnostics::RecordingUserNotifier notifier;
    DiscoveryServices services{*backend, clock, log, notifier, {}, {}};
    RetrieveQuorvaneDevices(list, services);
  }
};

FourQuads& Shared() {
  static FourQuads quads;
  return quads;
}

void BM_LivePass(benchmark::State& state) {
  auto& quads = Shared();
  if (quads.list.rows.size() != 28) {
    state.SkipWithError("expected 28 rows");
    return;
  }
  std::uint64_t shown = 0;
  for (auto _ : state) {
    ReadLivePass(*quads.backend, quads.list,
                 [&](std::size_t, std::uint32_t value) { shown += value; });
  }
  benchmark::DoNotOptimize(shown);
  state.counters["rows"] = static_cast<double>(quads.list.rows.size());
}

// The baseline: the walk, the block copies and the decoding, without any report request.
void BM_DecodeOnlyPass(benchmark::State& state) {
  auto& quads = Shared();
  std::uint64_t shown = 0;
  for (auto _ : state) {
    auto& rows = quads.list.rows;
    const QuorvaneDevice* source = nullptr;
    for (std::size_t index = 0; index < rows.size(); ++index) {
      if (IsLiveSourceRow(rows, index)) {
        source = &rows[index];
      } else if (source != nullptr) {
        rows[index].reportA = source->reportA;
      }
      shown += DecodeLiveValue(rows[index]).value_or(0);
    }
  }
  benchmark::DoNotOptimize(shown);
}

BENCHMARK(BM_LivePass)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeOnlyPass)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
