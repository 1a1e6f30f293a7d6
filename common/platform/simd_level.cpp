#include "common/platform/simd_level.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

namespace Quorvane::Platform {
namespace {

SimdLevel ProcessorLevel() {
#if defined(__x86_64__)
  // The decoder's shuffles need SSSE3 and SSE4.1; every x86-64 processor has SSE2.
  if (__builtin_cpu_supports("sse4.1")) return SimdLevel::Sse;
#endif
  return SimdLevel::Scalar;
}

SimdLevel AskedLevel() {
  const char* asked = std::getenv("QUORVANE_SIMD");
  const std::string_view name = asked == nullptr ? "" : asked;
  return name == "scalar" ? SimdLevel::Scalar : SimdLevel::Sse;
}

}  // namespace

SimdLevel ChosenSimdLevel() {
  static const SimdLevel level = std::min(ProcessorLevel(), AskedLevel());
  return level;
}

}  // namespace Quorvane::Platform
