// The updater's check of a package that brings one 64 MiB file through the stand-in service,
// from the request to the file and its ready file on disk: time, beside a plain download of the
// same file in the same run, and peak memory above what the process held before (target: below
// three times the file).
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstring>
#include <filesystem>
#include <random>

#include "bench/bench_support.h"
#include "tests/support/local_service.h"
#include "tests/support/temp_folder.h"
#include "updater/update_check.h"

namespace {

using namespace Quorvane;

constexpr std::size_t kFileBytes = 64 * 1024 * 1024;

struct Fixture {
  Testing::TempFolder data;
  Testing::TempFolder root;
  std::unique_ptr<Testing::LocalServiceProcess> service;
  Updater::UpdaterConfiguration configuration;
  Platform::KnownFolders folders;

  Fixture() {
    std::filesystem::create_directories(data.File("packages"));
    std::filesystem::create_directories(root.File("Quorvane/Updater"));
    Testing::WriteTextFile(data.File("packages/Tollwick"), Bench::RandomBytes(kFileBytes, 5));
    Testing::WriteTextFile(data.File("packages.xml"),
                           "<packages><package softwareID=\"Tollwick\" major=\"9\" minor=\"0\" build=\"0\" revision=\"0\">"
                           "<file name=\"Tollwick\" mimeType=\"application/octet-stream\" installCommand=\"%s\" "
                           "path=\"packages/Tollwick\"/></package></packages>");
    service = std::make_unique<Testing::LocalServiceProcess>(data.Path());
    configuration.LoadText(
        "<updater xmlns=\"http://schemas.quorvane.example/Tollwick/2016\"><servers><server url=\"" +
            service->Endpoint() + "\" timeoutMs=\"0\"/></servers><packages><package softwareID=\"Tollwick\" "
            "softwareUpdateType=\"Application\" processName=\"Tollwick\" warningBeforeKill=\"false\" "
            "timeToWaitBeforeKillMs=\"0\" timeToWaitAfterKillMs=\"0\" restart=\"false\"/></packages><settings/></updater>",
        "bench.xml");
    folders.installRoot = root.Path();
    folders.localAppData = root.File("data");
  }

  bool Check() {
    Diagnostics::RecordingEventLog log;
    Platform::SystemClock clock;
    Updater::NoProgressView progress;
    const Updater::UpdaterContext context{folders, log, clock, progress};
    Updater::CheckAndDownload(context, configuration, Updater::ParseCommandLine("/checkonly:admin"));
    std::error_code error;
    return std::filesystem::file_size(folders.localAppData + "/Quorvane/Updater/Tollwick/Tollwick", error) == kFileBytes;
  }
};

Fixture& Shared() {
  static Fixture fixture;
  return fixture;
}

double PlainDownloadBaseline() {
  static const double baseline = Bench::MeasureThroughput(kFileBytes, [] {
    Bench::PlainDownload("http://127.0.0.1:" + std::to_string(Shared().service->Port()) + "/files/packages/Tollwick",
                         kFileBytes);
  }, std::chrono::milliseconds(1000));
  return baseline;
}

void BM_UpdaterCheckDownload(benchmark::State& state) {
  auto& fixture = Shared();
  for (auto _ : state) {
    if (!fixture.Check()) state.SkipWithError("the check did not download the file");
  }
  const double bytes = static_cast<double>(static_cast<std::size_t>(state.iterations()) * kFileBytes);
  state.counters["file_MBps"] = benchmark::Counter(bytes / 1e6, benchmark::Counter::kIsRate);
  state.counters["plain_MBps"] = PlainDownloadBaseline() / 1e6;
}

void BM_UpdaterCheckPeakMemory(benchmark::State& state) {
  auto& fixture = Shared();
  for (auto _ : state) {
    if (!Bench::ResetPeakMemory()) {
      state.SkipWithError("cannot reset the peak memory counter");
      return;
    }
    const std::size_t before = Bench::ResidentBytes();
    if (!fixture.Check()) state.SkipWithError("the check did not download the file");
    const std::size_t peak = Bench::PeakResidentBytes() - before;
    state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["peak_over_file"] = static_cast<double>(peak) / kFileBytes;
  }
}

BENCHMARK(BM_UpdaterCheckDownload)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_UpdaterCheckPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
