#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a while on its seed corpus, then prints
# per target: executions, edges covered when the seeds were loaded and at the end, and the
# corpus size. Fails when a target finds a crash.
# Usage: scripts/fuzz.sh [seconds per target, default 20] [build folder] [target names...]
#   scripts/fuzz.sh 600   the long run: ten minutes or ten million executions per target
#   scripts/fuzz.sh 600 build-fuzz utf16 base64   the long run of two targets only
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
build="${2:-build-fuzz}"
shift $(($# < 2 ? $# : 2))
only=("$@")
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_FUZZ=ON \
  -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build "$build"
failed=0
printf '%-30s %14s %10s %10s %8s\n' target executions edges-start edges-end corpus > "$build/fuzz-summary.txt"
# Targets whose code has a vector fast path run once more on the plain path (QUORVANE_SIMD), so
# that both are tried on this machine.
runs=()
for target in "$build"/fuzz/fuzz_*; do
  runs+=("$target:")
  case "$(basename "$target")" in
    fuzz_base64 | fuzz_soap_answer_stream) runs+=("$target:scalar") ;;
  esac
done
for run in "${runs[@]}"; do
  target="${run%%:*}"
  level="${run#*:}"
  name="$(basename "$target")"
  if [ "${#only[@]}" -gt 0 ] && [[ " ${only[*]} " != *" ${name#fuzz_} "* ]]; then
    continue
  fi
  corpus="fuzz/corpus/${name#fuzz_}"
  [ -n "$level" ] && name="$name@$level"
  work="$(mktemp -d)"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  log="$build/$name.log"
  echo "fuzz: $name for ${seconds}s"
  status=0
  QUORVANE_SIMD="${level:-sse}" "$target" -max_total_time="$seconds" -runs=10000000 -print_final_stats=1 -artifact_prefix="$build/$name-" "$work" \
    > "$log" 2>&1 || status=$?
  # libFuzzer reports "#N INITED cov: E ..." once the seeds ran and "#N DONE cov: E ..." at the end.
  start_edges="$(awk '/INITED +cov:/ { for (i = 1; i <= NF; i++) if ($i == "cov:") print $(i + 1) }' "$log" | head -n 1)"
  end_edges="$(awk '/DONE +cov:/ { for (i = 1; i <= NF; i++) if ($i == "cov:") print $(i + 1) }' "$log" | tail -n 1)"
  runs="$(awk '/stat::number_of_executed_units/ { print $NF }' "$log" | tail -n 1)"
  printf '%-30s %14s %10s %10s %8s\n' "$name" "${runs:-?}" "${start_edges:-?}" "${end_edges:-?}" \
    "$(find "$work" -type f | wc -l)" >> "$build/fuzz-summary.txt"
  if [ "$status" -ne 0 ]; then
    echo "fuzz: $name FAILED (exit $status); its output:"
    tail -n 40 "$log"
    failed=1
  fi
  rm -rf "$work"
done
cat "$build/fuzz-summary.txt"
exit "$failed"
