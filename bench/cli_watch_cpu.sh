#!/usr/bin/env bash
# The CPU that `kestrane-cli watch` uses on four moving quad controllers (28 live values): drawing
# bars on a terminal (tmux, 120 columns) and writing JSON lines to a pipe. The baseline, in the
# same run, is the headless center on the same controllers (its 10 ms poll loop and workers).
# Usage: bench/cli_watch_cpu.sh BUILD_FOLDER [seconds per phase, default 10]
set -euo pipefail
build="$(realpath "$1")"
seconds="${2:-10}"
source_root="$(cd "$(dirname "$0")/.." && pwd)"
work="$(mktemp -d)"
trap 'tmux -L quorvane-bench kill-server 2>/dev/null || true; rm -rf "$work"' EXIT

{
  echo "<controllers>"
  for index in 0 1 2 3; do
    sed -n '/<controller /,/<\/controller>/p' "$source_root/packaging/simulated/quad-buttons.xml" |
      sed -e "s|path=\"[^\"]*\"|path=\"sim/quad-$index\"|" -e "s|serial=\"[^\"]*\"|serial=\"QVB-$index\"|"
  done
  echo "</controllers>"
} > "$work/four-quads.xml"
mkdir -p "$work/run" && chmod 700 "$work/run"
export QUORVANE_SIMULATED_DEVICES="$work/four-quads.xml" QUORVANE_SERVICE_ENDPOINT="http://127.0.0.1:1/none"
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run"

# The share of one core a process used over the phase.
core_share() {
  local pid=$1 ticks_before ticks_after
  ticks_before=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  sleep "$seconds"
  ticks_after=$(awk '{ print $14 + $15 }' "/proc/$pid/stat")
  awk -v ticks=$((ticks_after - ticks_before)) -v hz="$(getconf CLK_TCK)" -v s="$seconds" \
    'BEGIN { printf "%.2f", 100 * ticks / hz / s }'
}

"$build/center/app/Kestrane" --headless >/dev/null 2>&1 &
center=$!
sleep 1
baseline=$(core_share "$center")
kill "$center"; wait "$center" 2>/dev/null || true

tmux -L quorvane-bench new-session -d -x 120 -y 40 "$build/center/cli/kestrane-cli watch"
sleep 1
terminal=$(core_share "$(pgrep -f "kestrane-cli watch$" | head -n 1)")
tmux -L quorvane-bench kill-server

"$build/center/cli/kestrane-cli" watch --json > /dev/null &
json=$!
sleep 1
lines=$(core_share "$json")
kill -INT "$json"; wait "$json" 2>/dev/null || true

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1fx", (b > 0 ? a / b : 0) }'; }
printf '%-40s %8s\n' "four quads, ${seconds} s per phase" "% core"
printf '%-40s %8s\n' "baseline: headless center" "$baseline"
printf '%-40s %8s  (%s)\n' "watch, bars on a 120-column terminal" "$terminal" "$(ratio "$terminal" "$baseline")"
printf '%-40s %8s  (%s)\n' "watch --json to a pipe" "$lines" "$(ratio "$lines" "$baseline")"
