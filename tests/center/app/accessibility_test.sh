#!/usr/bin/env bash
# The center as a screen reader sees it: the real Kestrane with a private session bus and the
# desktop's accessibility bus, walked by accessibility_walk.py through AT-SPI, on a virtual X
# display or under a Wayland compositor.
#
# Under Wayland the compositor is weston with its X11 back end on the virtual display: a real
# compositor with a seat whose keyboard is the display's, so that it activates the center's
# window as a desktop session does and the keys reach the center through Wayland. (Weston's
# headless back end has no seat at all: no window there is ever activated or typed into.)
#
# Usage: accessibility_test.sh KESTRANE SIMULATED_DESCRIPTION [x11|wayland]
set -euo pipefail
kestrane="$1"
description="$2"
platform="${3:-x11}"
here="$(cd "$(dirname "$0")" && pwd)"

if [ -z "${QUORVANE_A11Y_TEST_DISPLAY:-}" ]; then
  exec env QUORVANE_A11Y_TEST_DISPLAY=1 dbus-run-session -- bash "$0" "$@"
fi

source "$here/../../../scripts/desktop_session.sh"
start_virtual_display 1280x900
mkdir -p "$work/run" && chmod 700 "$work/run"
export XDG_RUNTIME_DIR="$work/run"

# The accessibility bus, as a desktop session starts it; its registry starts on demand.
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/bus.out" 2>&1 & pids+=($!)
bus=""
for _ in $(seq 100); do
  bus="$(dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
    org.a11y.Bus.GetAddress 2>/dev/null || true)"
  [ -n "$bus" ] && break
  sleep 0.05
done
[ -n "$bus" ] || { echo "accessibility test: no accessibility bus" >&2; cat "$work/bus.out" >&2; exit 1; }

keys_to="--window"
if [ "$platform" = wayland ]; then
  printf '[input-method]\npath=\n' >"$work/weston.ini"  # no on-screen keyboard
  weston --backend=x11-backend.so --width=1280 --height=800 --use-pixman \
    --config="$work/weston.ini" --socket=quorvane-test >"$work/weston.out" 2>&1 & pids+=($!)
  for _ in $(seq 100); do [ -S "$work/run/quorvane-test" ] && break; sleep 0.05; done
  [ -S "$work/run/quorvane-test" ] || { echo "accessibility test: weston did not start" >&2; cat "$work/weston.out" >&2; exit 1; }
  compositor="$(xdotool search --class weston 2>/dev/null | head -n 1 || true)"
  [ -n "$compositor" ] || { echo "accessibility test: no weston output window" >&2; exit 1; }
  xdotool windowfocus --sync "$compositor"
  export WAYLAND_DISPLAY=quorvane-test QT_QPA_PLATFORM=wayland
  keys_to="--focused"  # the compositor's window has the display's keyboard
else
  # A window manager, as on a desktop: it gives the keyboard back to the window a dialog came from.
  openbox --sm-disable >"$work/openbox.out" 2>&1 & pids+=($!)
  export QT_QPA_PLATFORM=xcb
fi

XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
  QUORVANE_SIMULATED_DEVICES="$description" QUORVANE_SERVICE_ENDPOINT="http://127.0.0.1:1/x" \
  QUORVANE_SYSLOG_SOCKET="$work/none.sock" "$kestrane" >"$work/center.out" 2>&1 & pids+=($!)

target="$keys_to"
if [ "$platform" = x11 ]; then
  window="$(await_center_window)" || { cat "$work/center.out" >&2; exit 1; }
  xdotool windowfocus --sync "$window"
  target="$window"
fi

if ! /usr/bin/python3 "$here/accessibility_walk.py" "$platform" "$target"; then
  cat "$work/center.out" >&2
  exit 1
fi
