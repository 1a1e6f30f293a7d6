// Helpers the benchmarks share: a baseline measured in the same run, and peak memory.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace Quorvane::Bench {

// Bytes per second of `work`, repeated until it has run for at least `minimum`.
double MeasureThroughput(std::size_t bytesPerRun, const std::function<void()>& work,
                         std::chrono::milliseconds minimum = std::chrono::milliseconds(300));

// `size` pseudo-random bytes (the same for the same seed).
std::string RandomBytes(std::size_t size, std::uint64_t seed);

// A plain libcurl GET of the URL into memory, with its default settings: the baseline of the
// service benchmarks.
std::string PlainDownload(const std::string& url, std::size_t expectedBytes);

// Resets the process's peak resident size to its present size; false where the kernel refuses.
bool ResetPeakMemory();
// The process's resident and peak resident size in bytes (from /proc/self/status).
std::size_t ResidentBytes();
std::size_t PeakResidentBytes();

}  // namespace Quorvane::Bench
