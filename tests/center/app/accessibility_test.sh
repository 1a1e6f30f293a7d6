#!/usr/bin/env bash
# The center as a screen reader sees it: the real Kestrane on a virtual X display, with a private
# session bus and the desktop's accessibility bus, walked by accessibility_walk.py through AT-SPI.
#
# Usage: accessibility_test.sh KESTRANE SIMULATED_DESCRIPTION
set -euo pipefail
kestrane="$1"
description="$2"
here="$(cd "$(dirname "$0")" && pwd)"

if [ -z "${QUORVANE_A11Y_TEST_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x900x24" env QUORVANE_A11Y_TEST_DISPLAY=1 \
    dbus-run-session -- bash "$0" "$@"
fi

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The accessibility bus, as a desktop session starts it; its registry starts on demand.
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/bus.out" 2>&1 & pids+=($!)
for _ in $(seq 100); do
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null 2>&1 && break
  sleep 0.05
done

mkdir -p "$work/run" && chmod 700 "$work/run"
XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" \
  QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
  QUORVANE_SIMULATED_DEVICES="$description" QUORVANE_SERVICE_ENDPOINT="http://127.0.0.1:1/x" \
  QUORVANE_SYSLOG_SOCKET="$work/none.sock" "$kestrane" >"$work/center.out" 2>&1 & pids+=($!)

window=""
for _ in $(seq 150); do
  window="$(xdotool search --onlyvisible --name '^Kestrane \|' 2>/dev/null | head -n 1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "accessibility test: no window" >&2; cat "$work/center.out" >&2; exit 1; }
# No window manager runs here: the window gets the keyboard as a desktop would give it.
xdotool windowfocus --sync "$window"

if ! /usr/bin/python3 "$here/accessibility_walk.py" "$window"; then
  cat "$work/center.out" >&2
  exit 1
fi
