// Whether the codecs' fast paths use vector instructions (SSE4.1, blocks of sixteen bytes): when
// the processor has them, unless the environment variable QUORVANE_SIMD is "scalar". It is read
// once, at the first use, so that tests and benchmarks can run both paths on one machine.
#pragma once

namespace Quorvane::Platform {

enum class SimdLevel { Scalar, Sse };

SimdLevel ChosenSimdLevel();

}  // namespace Quorvane::Platform
