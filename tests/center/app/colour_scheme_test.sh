#!/usr/bin/env bash
# The desktop's dark preference reaches the center's window: the real settings portal
# (xdg-desktop-portal with its GTK back end, reading the desktop's colour-scheme setting) on a
# private session bus, the real Kestrane on a virtual X display, and the colour of the list's empty
# area in a picture of the screen. Then the same with the light preference.
#
# Usage: colour_scheme_test.sh KESTRANE SIMULATED_DESCRIPTION
set -euo pipefail
kestrane="$1"
description="$2"
here="$(cd "$(dirname "$0")" && pwd)"

if [ -z "${QUORVANE_COLOUR_TEST_DISPLAY:-}" ]; then
  # The portal's back end reads the desktop's settings from this folder, as a GNOME session's
  # would from its own; the bus that starts it must know that from the start.
  config="$(mktemp -d)"
  trap 'rm -rf "$config"' EXIT
  XDG_CURRENT_DESKTOP=GNOME GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME="$config" \
    QUORVANE_COLOUR_TEST_DISPLAY=1 \
    dbus-run-session -- bash "$0" "$@"
  exit
fi
source "$here/../../../scripts/desktop_session.sh"
start_virtual_display 1280x800

# The list's empty area, below its last line, as a grey level 0-255.
list_background() {
  local window
  window="$(await_center_window)" || return 1
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
  import -window root -crop "1x1+$((X + WIDTH / 2))+$((Y + HEIGHT - 40))" -depth 8 \
    -colorspace Gray -format '%[fx:int(255*mean)]' info:
}

run_center() {  # prints the list's background under the desktop's preference $1
  gsettings set org.gnome.desktop.interface color-scheme "$1"
  mkdir -p "$work/run-$1" && chmod 700 "$work/run-$1"
  XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run-$1" QT_QPA_PLATFORM=xcb \
    QUORVANE_SIMULATED_DEVICES="$description" QUORVANE_SERVICE_ENDPOINT="http://127.0.0.1:1/x" \
    QUORVANE_SYSLOG_SOCKET="$work/none.sock" "$kestrane" >"$work/center-$1.out" 2>&1 &
  local center=$!
  local level
  level="$(list_background)" || { kill "$center"; cat "$work/center-$1.out" >&2; return 1; }
  kill "$center"
  wait "$center" 2>/dev/null || true
  echo "$level"
}

# A desktop session starts its portal at login; here it starts once, before the center.
gdbus call --session --timeout 10 --dest org.freedesktop.portal.Desktop \
  --object-path /org/freedesktop/portal/desktop \
  --method org.freedesktop.portal.Settings.Read org.freedesktop.appearance color-scheme >/dev/null

dark="$(run_center prefer-dark)"
light="$(run_center prefer-light)"
echo "colour scheme test: the list's background is $dark with prefer-dark, $light with prefer-light"
[ "$dark" -lt 80 ] || { echo "colour scheme test: the dark preference did not reach the window" >&2; exit 1; }
[ "$light" -gt 200 ] || { echo "colour scheme test: the light preference did not reach the window" >&2; exit 1; }
