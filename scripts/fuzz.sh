#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a while on its seed corpus.
# Usage: scripts/fuzz.sh [seconds per target, default 20] [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
build="${2:-build-fuzz}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_FUZZ=ON \
  -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
cmake --build "$build"
for target in "$build"/fuzz/fuzz_*; do
  name="$(basename "$target")"
  corpus="fuzz/corpus/${name#fuzz_}"
  work="$(mktemp -d)"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  echo "fuzz: $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" 2>&1 | tail -n 3
  rm -rf "$work"
done
