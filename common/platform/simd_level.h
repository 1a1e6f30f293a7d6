// Which vector instructions the codecs' fast paths use: the widest the processor has, unless the
// environment variable QUORVANE_SIMD asks for fewer ("avx2", "sse" or "scalar"). It is read once,
// at the first use, so that tests and benchmarks can run every path on one machine.
#pragma once

namespace Quorvane::Platform {

enum class SimdLevel { Scalar, Sse, Avx2 };

SimdLevel ChosenSimdLevel();

}  // namespace Quorvane::Platform
