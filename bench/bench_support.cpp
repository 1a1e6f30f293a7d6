#include "bench/bench_support.h"

#include <curl/curl.h>

#include <cstring>
#include <fstream>
#include <random>
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

std::string RandomBytes(std::size_t size, std::uint64_t seed) {
  std::string bytes(size, '\0');
  std::mt19937_64 random(seed);
  for (std::size_t at = 0; at + 8 <= bytes.size(); at += 8) {
    const std::uint64_t value = random();
    std::memcpy(bytes.data() + at, &value, sizeof value);
  }
  return bytes;
}

std::string PlainDownload(const std::string& url, std::size_t expectedBytes) {
  std::string body;
  body.reserve(expectedBytes);
  CURL* curl = curl_easy_init();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(
      curl, CURLOPT_WRITEFUNCTION,
      +[](char* data, std::size_t size, std::size_t count, void* target) {
        static_cast<std::string*>(target)->append(data, size * count);
        return size * count;
      });
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
  curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  return body;
}

bool ResetPeakMemory() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  return static_cast<bool>(clear);
}

std::size_t ResidentBytes() { return StatusField("VmRSS"); }
std::size_t PeakResidentBytes() { return StatusField("VmHWM"); }

}  // namespace Quorvane::Bench
