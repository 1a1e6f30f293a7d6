#!/usr/bin/env bash
# The center's tray icon with a tray on the desktop: the real Kestrane on a virtual X display and
# a private session bus whose tray is tests/center/app/tray_watcher.py. Closing the window hides
# it (the icon is there to bring it back), and when the tray restarts the icon registers again.
#
# Usage: tray_test.sh KESTRANE SIMULATED_DESCRIPTION
set -euo pipefail
kestrane="$1"
description="$2"
here="$(cd "$(dirname "$0")" && pwd)"

if [ -z "${QUORVANE_TRAY_TEST_DISPLAY:-}" ]; then
  exec env QUORVANE_TRAY_TEST_DISPLAY=1 dbus-run-session -- bash "$0" "$@"
fi

source "$here/../../../scripts/desktop_session.sh"
start_virtual_display 1280x1024

# Waits until the log holds this many registrations.
await_registrations() {
  for _ in $(seq 200); do
    [ "$(grep -c '^registered' "$work/tray.log" 2>/dev/null || true)" -ge "$1" ] && return 0
    sleep 0.1
  done
  echo "tray test: expected $1 registration(s), the tray saw:" >&2
  cat "$work/tray.log" >&2
  cat "$work/center.out" >&2
  return 1
}

/usr/bin/python3 "$here/tray_watcher.py" "$work/tray.log" & watcher=$!
pids+=($watcher)
for _ in $(seq 100); do grep -q "watcher up" "$work/tray.log" 2>/dev/null && break; sleep 0.05; done

mkdir -p "$work/run" && chmod 700 "$work/run"
XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" QT_QPA_PLATFORM=xcb \
  QUORVANE_SIMULATED_DEVICES="$description" QUORVANE_SERVICE_ENDPOINT="http://127.0.0.1:1/x" \
  QUORVANE_SYSLOG_SOCKET="$work/none.sock" "$kestrane" >"$work/center.out" 2>&1 & center=$!
pids+=($center)
await_registrations 1

window="$(await_center_window)"
/usr/bin/python3 "$here/close_window.py" "$window"
sleep 1
xdotool getwindowname "$window" >/dev/null 2>&1 || { echo "tray test: closing destroyed the window" >&2; exit 1; }
if xdotool search --onlyvisible --name '^Kestrane \|' >/dev/null 2>&1; then
  echo "tray test: closing the window did not hide it into the tray" >&2
  exit 1
fi
kill -0 "$center" || { echo "tray test: closing ended the center" >&2; exit 1; }

# The tray goes away and comes back, as when the desktop's panel restarts.
kill "$watcher"
wait "$watcher" 2>/dev/null || true
/usr/bin/python3 "$here/tray_watcher.py" "$work/tray.log" & pids+=($!)
await_registrations 2
echo "tray test: the icon registered again after the tray restarted"
