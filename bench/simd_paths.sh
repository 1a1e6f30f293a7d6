#!/usr/bin/env bash
# The codecs' vector path against the plain one in one run: the Base64 decoder and the answer
# reader's text copy, once per path (QUORVANE_SIMD), as a ratio to the plain path.
# Usage: bench/simd_paths.sh [build folder]
set -euo pipefail
build="${1:-build}"
bench="$build/bench/bench_base64"
for level in scalar sse; do
  QUORVANE_SIMD=$level "$bench" --benchmark_filter='BM_Base64Decode|BM_CopyPlainText' \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true --benchmark_format=json \
    > "$build/simd-$level.json"
done
python3 - "$build" <<'REPORT'
import json, sys
build = sys.argv[1]
rates = {}
for level in ("scalar", "sse"):
    for run in json.load(open(f"{build}/simd-{level}.json"))["benchmarks"]:
        if run.get("aggregate_name") == "median":
            rates[(run["run_name"].split("/")[0], level)] = run["bytes_per_second"] / 1e9
for name in ("BM_Base64Decode", "BM_CopyPlainText"):
    scalar = rates[(name, "scalar")]
    print(f"{name:18} " + "  ".join(
        f"{level} {rates[(name, level)]:.2f} GB/s ({rates[(name, level)] / scalar:.2f}x)"
        for level in ("scalar", "sse")))
REPORT
