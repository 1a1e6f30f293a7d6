#!/usr/bin/env bash
# Builds and runs the non-GUI tests under the given sanitizers (the USB lab, a virtual machine,
# runs in the plain build only).
# Usage: scripts/sanitize.sh "address;undefined" | thread  [build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
sanitizers="${1:-address;undefined}"
build="${2:-build-sanitize-${sanitizers//;/-}}"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUORVANE_SANITIZE="$sanitizers" \
  -DQUORVANE_BENCH=OFF
cmake --build "$build"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -LE "gui|usb"
