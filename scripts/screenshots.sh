#!/usr/bin/env bash
# Pictures of the center's windows and dialogs for a reviewer: runs the demo (simulated
# controllers, the stand-in service, fresh data) on a virtual X display, drives it with the
# pointer and keyboard, and writes PNG files into the folder given.
#
# Usage: scripts/screenshots.sh FOLDER
# Needs xvfb-run, xdotool and ImageMagick's import (scripts/install-deps.sh installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:?usage: scripts/screenshots.sh FOLDER}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

if [ -z "${QUORVANE_SCREENSHOTS_DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x800x24" env QUORVANE_SCREENSHOTS_DISPLAY=1 bash "$0" "$out"
fi

log="$(mktemp)"
# A slow answer to the update check, so that the window can be seen while it checks.
QUORVANE_DEMO_SERVICE_ARGS="--behave CheckForUpdateEx=slow:4000" bash scripts/demo.sh --fresh >"$log" 2>&1 &
demo=$!
trap 'kill "$demo" 2>/dev/null || true; wait "$demo" 2>/dev/null || true; rm -f "$log"' EXIT

window=""
for _ in $(seq 600); do
  window="$(xdotool search --name '^Kestrane \|' 2>/dev/null | head -n 1 || true)"
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { echo "screenshots: the center's window did not appear" >&2; cat "$log" >&2; exit 1; }
xdotool windowfocus "$window"
sleep 2  # lists of firmware arrive from the stand-in

# The window's top left corner on the screen, to click at places inside it.
eval "$(xdotool getwindowgeometry --shell "$window")"
left=$X
top=$Y

shot() {
  sleep "${2:-0.6}"
  import -window root "$out/$1.png"
  echo "screenshots: $out/$1.png"
}
click() {
  xdotool mousemove $((left + $1)) $((top + $2)) click 1
}
# A click at a place measured from the window's right edge (the groups at the ribbon's end), with
# the window's width as it is now.
click_from_right() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove $((X + WIDTH - $1)) $((Y + $2)) click 1
}
# The centre of a line of the controller list (0 = the first controller's device line).
row_y() { echo $((145 + 19 * $1)); }

shot main-window
click 300 "$(row_y 2)"
shot channel-selected
click 300 "$(row_y 0)"
shot device-selected
# The Change Firmware gallery sits first in the Firmware group once a device line is selected.
click 250 60
shot change-firmware-gallery
xdotool key Escape
# Upload Custom Firmware: the file chooser, and the warning that the file is not the maker's
# (answered No).
click 399 60
shot custom-firmware-chooser
custom="$(mktemp -d)"
cp packaging/local-service/firmware/qv-quad-3.4.bin "$custom/my-tuned-quad.bin"
xdotool type "$custom/my-tuned-quad.bin"
xdotool key Return
shot custom-firmware-warning
xdotool key Escape
rm -rf "$custom"
click 453 60
shot crash-recovery-gallery
xdotool key Escape
click 300 "$(row_y 1)"
xdotool key slash
shot about
xdotool key Escape

# Calibration of the quad's brake: the dialog as it opens (maximum), with the automatic minimum,
# and with a custom minimum typed in.
click 300 "$(row_y 1)"
click 253 60
sleep 0.8
dialog="$(xdotool search --name '^Calibration$' | head -n 1)"
eval "$(xdotool getwindowgeometry --shell "$dialog")"
shot calibration-maximum 0.3
xdotool mousemove $((X + 40)) $((Y + 49)) click 1
shot calibration-automatic-minimum 0.3
xdotool mousemove $((X + 275)) $((Y + 103)) click 1
xdotool key ctrl+a
xdotool type 150000
shot calibration-custom-minimum 0.3
xdotool key Escape
sleep 0.5

# A firmware change of the single brake, while it flashes and once it is done.
change_single_brake_firmware() {  # the first item of its Change Firmware gallery
  click 300 "$(row_y 7)"
  click 250 60
  sleep 0.5
  xdotool mousemove $((left + 300)) $((top + 112))
  sleep 0.3
  click 300 112
}
change_single_brake_firmware
for step in $(seq 8); do
  shot "firmware-change-$step" 0.15
done
sleep 3
shot firmware-change-done

# The same change from a service that altered the image after it was signed: nothing is flashed.
behave() {
  python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], data=sys.argv[2].encode()).read()' \
    "$(sed -n 's|^demo: stand-in service on \(http://[^/]*\)/.*|\1|p' "$log")/control" "$1"
}
behave DownloadFirmware=tampered
change_single_brake_firmware
shot firmware-change-refused 2
xdotool key Return
behave DownloadFirmware=normal

# Messages, the feedback list and a new feedback; then the window while it checks for updates.
click 40 60
sleep 0.5
click_from_right 253 60
sleep 0.8
# The first message's line, in the dialog centred over the window.
xdotool mousemove $((left + 150)) $((top - 74)) click 1
shot messages
xdotool key Escape
sleep 0.5
click_from_right 329 60
shot feedback-list
xdotool key Return
sleep 0.5
xdotool type "Clutch feels heavy"
xdotool key Tab
xdotool type "After the 3.4 update the clutch needs more force than before."
shot new-feedback
xdotool key Escape
sleep 0.3
xdotool key Escape
sleep 0.5
click 111 60
shot checking-for-updates 1.5
sleep 4  # the slow check ends

# Capture to File with a name whose added extension names a file that is there: asked first.
pictures="$(mktemp -d)"
touch "$pictures/lap.bmp"
click_from_right 134 66
sleep 0.5
xdotool key Down Down Return
sleep 1
xdotool type "$pictures/lap"
xdotool key Return
shot replace-picture-question
xdotool key Escape
sleep 0.3
xdotool key Escape
rm -rf "$pictures"

# The trace of the quad (a double click on its brake), and of the single, whose load cell rests
# and is noisy: each shown for longer than the health window.
xdotool mousemove $((left + 300)) $((top + $(row_y 1))) click --repeat 2 --delay 80 1
shot trace-view 4
xdotool key Escape
sleep 0.5
xdotool mousemove $((left + 300)) $((top + $(row_y 8))) click --repeat 2 --delay 80 1
shot trace-view-noisy-cell 4
xdotool key Escape
