// Base64 decoding and the image field decoder, against memcpy of the same bytes measured in the
// same run. Target: at least 1 GB/s.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "bench/bench_support.h"
#include "common/service_client/base64.h"
#include "common/service_client/field_encoding.h"
#include "common/service_client/xml_plain_text.h"

namespace {

using namespace Quorvane;

constexpr std::size_t kBytes = 16 * 1024 * 1024;

const std::string& Encoded() {
  static const std::string text = [] {
    std::string bytes(kBytes, '\0');
    std::mt19937 random(7);
    for (auto& byte : bytes) byte = static_cast<char>(random());
    return Service::Base64Encode(bytes);
  }();
  return text;
}

// memcpy of the encoded text: what any decoder must at least read and write.
double MemcpyBaseline() {
  static const double baseline = [] {
    std::string target(Encoded().size(), '\0');
    return Bench::MeasureThroughput(Encoded().size(), [&] {
      std::memcpy(target.data(), Encoded().data(), Encoded().size());
      benchmark::DoNotOptimize(target.data());
    });
  }();
  return baseline;
}

void Report(benchmark::State& state) {
  state.SetBytesProcessed(
      static_cast<std::int64_t>(static_cast<std::size_t>(state.iterations()) * Encoded().size()));
  state.counters["input_GBps"] = benchmark::Counter(
      static_cast<double>(static_cast<std::size_t>(state.iterations()) * Encoded().size()) / 1e9,
      benchmark::Counter::kIsRate);
  state.counters["memcpy_GBps"] = MemcpyBaseline() / 1e9;
}

void BM_Base64Decode(benchmark::State& state) {
  for (auto _ : state) {
    auto bytes = Service::Base64Decode(Encoded());
    benchmark::DoNotOptimize(bytes);
  }
  Report(state);
}

void BM_DecodeServiceBytes(benchmark::State& state) {
  for (auto _ : state) {
    auto bytes = Service::DecodeServiceBytes(Encoded());
    benchmark::DoNotOptimize(bytes);
  }
  Report(state);
}

void BM_Base64Encode(benchmark::State& state) {
  const std::string bytes = *Service::Base64Decode(Encoded());
  for (auto _ : state) {
    auto text = Service::Base64Encode(bytes);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(static_cast<std::size_t>(state.iterations()) * bytes.size()));
}

// The character data of a file in an answer: Base64 lines, each ending in the carriage return's
// reference and a line feed, copied as the answer reader copies it.
void BM_CopyPlainText(benchmark::State& state) {
  static const std::string text = [] {
    std::string lines;
    for (std::size_t at = 0; at < Encoded().size(); at += 66) {
      lines += Encoded().substr(at, 64);
      lines += "&#xD;\n";
    }
    return lines;
  }();
  std::string out(text.size(), '\0');
  for (auto _ : state) {
    std::size_t read = 0;
    std::size_t written = 0;
    while (read < text.size()) {
      const auto copied = Service::CopyPlainText(std::string_view(text).substr(read),
                                                 out.data() + written, out.size() - written);
      read += copied.read + (copied.read == 0);  // never stuck on a character that needs care
      written += copied.written;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(static_cast<std::size_t>(state.iterations()) * text.size()));
}

BENCHMARK(BM_Base64Decode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeServiceBytes)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Base64Encode)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CopyPlainText)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
