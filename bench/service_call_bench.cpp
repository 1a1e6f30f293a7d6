// A CheckForUpdateEx answer carrying one 64 MiB file, end to end through ServiceCall against
// the stand-in service on loopback, beside a plain libcurl download of the same file from the
// same server in the same run. Targets: at least half the plain download's throughput, and a
// peak memory below three times the file size.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "bench/bench_support.h"
#include "common/service_client/base64.h"
#include "common/service_client/service_call.h"
#include "tests/support/local_service.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace Quorvane;

constexpr std::size_t kFileBytes = 64 * 1024 * 1024;

struct Fixture {
  Testing::TempFolder data;
  std::unique_ptr<Testing::LocalServiceProcess> service;

  Fixture() {
    std::filesystem::create_directories(data.File("packages"));
    Testing::WriteTextFile(data.File("packages/big.bin"), Bench::RandomBytes(kFileBytes, 11));
    Testing::WriteTextFile(
        data.File("packages.xml"),
        "<packages><package softwareID=\"Tollwick\" major=\"9\" minor=\"0\" build=\"0\" "
        "revision=\"0\">"
        "<file name=\"big.bin\" mimeType=\"application/octet-stream\" installCommand=\"%s\" "
        "path=\"packages/big.bin\"/></package></packages>");
    service = std::make_unique<Testing::LocalServiceProcess>(data.Path());
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

std::string PlainDownload() {
  return Bench::PlainDownload(
      "http://127.0.0.1:" + std::to_string(Shared().service->Port()) + "/files/packages/big.bin",
      kFileBytes);
}

// The update check for a package at 0.0.0.0; returns the delivered file's bytes.
std::string CheckAndDecode(bool decode) {
  const std::vector<Service::ServiceValue> inputs{
      std::string("<checkForUpdateRequest softwareUpdateType=\"0\" requestType=\"1\" "
                  "softwareID=\"Tollwick\"><version major=\"0\" minor=\"0\" build=\"0\" "
                  "revision=\"0\"/></checkForUpdateRequest>"),
      false};
  Service::ServiceResult result;
  const Service::CallSettings settings{120u * 1048576u, std::chrono::milliseconds(300000)};
  if (!Service::ServiceCall(Shared().service->Endpoint(), settings,
                            Service::Operation::CheckForUpdateEx, inputs, result) ||
      result.strings.size() != 3) {
    return {};
  }
  if (!decode) {
    return std::move(result.strings[2]);
  }
  std::string content = std::move(result.strings[2]);
  result.strings.clear();
  return Service::Base64Decode(content).value_or(std::string());
}

double PlainBaseline() {
  static const double baseline = Bench::MeasureThroughput(
      kFileBytes, [] { benchmark::DoNotOptimize(PlainDownload()); },
      std::chrono::milliseconds(1000));
  return baseline;
}

void Report(benchmark::State& state) {
  const double throughput =
      static_cast<double>(static_cast<std::size_t>(state.iterations()) * kFileBytes);
  state.SetBytesProcessed(static_cast<std::int64_t>(throughput));
  state.counters["plain_MBps"] = PlainBaseline() / 1e6;
  state.counters["file_MBps"] = benchmark::Counter(throughput / 1e6, benchmark::Counter::kIsRate);
}

void BM_PlainDownload(benchmark::State& state) {
  for (auto _ : state) {
    const std::string body = PlainDownload();
    if (body.size() != kFileBytes) state.SkipWithError("plain download failed");
  }
  Report(state);
}

void BM_CheckForUpdateExCall(benchmark::State& state) {
  for (auto _ : state) {
    if (CheckAndDecode(false).empty()) state.SkipWithError("call failed");
  }
  Report(state);
}

void BM_CheckForUpdateExCallAndDecode(benchmark::State& state) {
  for (auto _ : state) {
    if (CheckAndDecode(true).size() != kFileBytes) state.SkipWithError("call failed");
  }
  Report(state);
}

// Peak resident memory of one call and decode, above what the process held before it.
void BM_CheckForUpdateExPeakMemory(benchmark::State& state) {
  Shared();
  for (auto _ : state) {
    if (!Bench::ResetPeakMemory()) {
      state.SkipWithError("cannot reset the peak memory counter");
      return;
    }
    const std::size_t before = Bench::ResidentBytes();
    const std::string file = CheckAndDecode(true);
    const std::size_t peak = Bench::PeakResidentBytes() - before;
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["peak_over_file"] = static_cast<double>(peak) / kFileBytes;
  }
}

BENCHMARK(BM_PlainDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_CheckForUpdateExCall)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_CheckForUpdateExCallAndDecode)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);
BENCHMARK(BM_CheckForUpdateExPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
