#!/usr/bin/env bash
# Pictures of the center's windows and dialogs for a reviewer: runs the demo (simulated
# controllers, the stand-in service, fresh data) on a virtual display, drives it with the
# keyboard alone, and writes PNG files into the folder given: the whole set, then the main window
# and the calibration dialog at 200 % (*-200.png) and with a dark palette (*-dark.png).
#
# Usage: scripts/screenshots.sh FOLDER [x11|wayland]
#   x11      the center on a virtual X display with a window manager (which gives the keyboard
#            back to the window a dialog came from), pictures of the display (the default)
#   wayland  the center under weston, a Wayland compositor, pictures taken by the compositor
#            (weston runs with its X11 back end on the virtual display, which gives it a seat:
#            a keyboard that activates the center's window and types into it, as on a desktop)
# Needs xvfb-run, xdotool, ImageMagick's import, openbox and weston (scripts/install-deps.sh
# installs them).
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:?usage: scripts/screenshots.sh FOLDER [x11|wayland]}"
platform="${2:-x11}"
case "$platform" in
  x11 | wayland) ;;
  *) echo "usage: scripts/screenshots.sh FOLDER [x11|wayland]" >&2; exit 2 ;;
esac
mkdir -p "$out"
out="$(cd "$out" && pwd)"

if [ -z "${QUORVANE_SCREENSHOTS_PHASE:-}" ]; then
  for phase in full:1280x800 large:2200x1400 dark:1280x800; do
    QUORVANE_SCREENSHOTS_PHASE="${phase%%:*}" QUORVANE_SCREENSHOTS_SIZE="${phase#*:}" \
      xvfb-run -a -s "-screen 0 ${phase#*:}x24" bash "$0" "$out" "$platform"
  done
  exit 0
fi

source scripts/desktop_session.sh
log="$work/demo.log"

if [ "$platform" = wayland ]; then
  mkdir -p "$work/run" && chmod 700 "$work/run"
  export XDG_RUNTIME_DIR="$work/run"
  size="$QUORVANE_SCREENSHOTS_SIZE"
  # 200 % under Wayland is the compositor's: an output of scale 2, which the center draws for.
  scale=1
  [ "$QUORVANE_SCREENSHOTS_PHASE" = large ] && scale=2
  # --debug offers the screenshooter protocol the pictures are taken with. No on-screen keyboard
  # pops up over the dialogs: a desktop with a real keyboard shows none.
  printf '[input-method]\npath=\n' >"$work/weston.ini"
  weston --backend=x11-backend.so --width="$((${size%x*} / scale))" \
    --height="$((${size#*x} / scale))" --scale="$scale" --use-pixman \
    --config="$work/weston.ini" --debug --socket=quorvane-shots >"$work/weston.log" 2>&1 & pids+=($!)
  for _ in $(seq 100); do [ -S "$work/run/quorvane-shots" ] && break; sleep 0.05; done
  compositor="$(xdotool search --class weston 2>/dev/null | head -n 1 || true)"
  [ -S "$work/run/quorvane-shots" ] && [ -n "$compositor" ] ||
    { echo "screenshots: weston did not start" >&2; cat "$work/weston.log" >&2; exit 1; }
  xdotool windowfocus --sync "$compositor"
  export WAYLAND_DISPLAY=quorvane-shots QT_QPA_PLATFORM=wayland
else
  openbox --sm-disable >"$work/openbox.log" 2>&1 & pids+=($!)
  export QT_QPA_PLATFORM=xcb
fi

# The light pictures stay light on a desktop that prefers dark.
export QUORVANE_COLOUR_SCHEME=light
case "$QUORVANE_SCREENSHOTS_PHASE" in
  large) [ "$platform" = x11 ] && export QT_SCALE_FACTOR=2 ;;
  dark) export QUORVANE_COLOUR_SCHEME=dark ;;
  # A slow answer to the update check, so that the window can be seen while it checks.
  full) export QUORVANE_DEMO_SERVICE_ARGS="--behave CheckForUpdateEx=slow:4000" ;;
esac
bash scripts/demo.sh --fresh >"$log" 2>&1 & pids+=($!)

for _ in $(seq 600); do
  if [ "$platform" = x11 ]; then
    window="$(xdotool search --name '^Kestrane \|' 2>/dev/null | head -n 1 || true)"
    [ -n "$window" ] && xdotool windowfocus "$window" && break
  elif grep -q "^demo: starting" "$log"; then
    break  # the compositor activates the window when it maps it
  fi
  sleep 0.1
done
grep -q "^demo: starting" "$log" || { echo "screenshots: the center did not start" >&2; cat "$log" >&2; exit 1; }
xdotool mousemove 0 0  # no line of the list is hovered in the pictures
sleep 3  # the window maps, and lists of firmware arrive from the stand-in

suffix=""
[ "$QUORVANE_SCREENSHOTS_PHASE" = large ] && suffix="-200"
[ "$QUORVANE_SCREENSHOTS_PHASE" = dark ] && suffix="-dark"
shot() {
  sleep "${2:-0.6}"
  if [ "$platform" = x11 ]; then
    import -window root "$out/$1$suffix.png"
  else
    rm -f "$work"/wayland-screenshot-*.png
    (cd "$work" && weston-screenshooter)
    mv "$work"/wayland-screenshot-*.png "$out/$1$suffix.png"
  fi
  echo "screenshots: $out/$1$suffix.png"
}
# Under Wayland the compositor gives the keyboard back to the window a dialog came from about a
# second after the dialog closes (keys before that are lost): each key waits longer there, and
# Escape, which closes a dialog, longest.
pause=0.15
closing=0.15
[ "$platform" = wayland ] && pause=0.4 && closing=1.3
key() {
  for name in "$@"; do
    xdotool key --clearmodifiers "$name"
    if [ "$name" = Escape ]; then sleep "$closing"; else sleep "$pause"; fi
  done
}
type_text() { xdotool type --delay 20 "$1"; }
# The list has the keyboard: Home is the first controller's line, Down the next line.
calibration_of_the_quads_brake() {
  key Home Down alt+c
  sleep 0.8
}

if [ "$QUORVANE_SCREENSHOTS_PHASE" != full ]; then
  shot main-window
  calibration_of_the_quads_brake
  shot calibration-maximum 0.3
  key Escape
  if [ "$QUORVANE_SCREENSHOTS_PHASE" = dark ]; then
    key alt+t
    shot trace-view 4
    key Escape
  fi
  exit 0
fi

shot main-window
key Home Down Down
shot channel-selected
key Home
shot device-selected
# The device line's commands: the Change Firmware gallery, Upload Custom Firmware with its file
# chooser and the warning that the file is not the maker's (answered No), Crash Recovery.
key alt+h
shot change-firmware-gallery
key Escape
key alt+l
shot custom-firmware-chooser
custom="$(mktemp -d)"
cp packaging/local-service/firmware/qv-quad-3.4.bin "$custom/my-tuned-quad.bin"
type_text "$custom/my-tuned-quad.bin"
key Return
shot custom-firmware-warning
key Escape
rm -rf "$custom"
key alt+v
shot crash-recovery-gallery
key Escape
key Down slash
shot about
key Escape

# Calibration of the quad's brake: the dialog as it opens (maximum), with the automatic minimum,
# and with a custom minimum typed in.
calibration_of_the_quads_brake
shot calibration-maximum 0.3
key alt+m
shot calibration-automatic-minimum 0.3
key alt+c Tab ctrl+a
type_text 150000
shot calibration-custom-minimum 0.3
key Escape
sleep 0.5

# A firmware change of the single brake (the line before the last), while it flashes and once
# it is done: the first item of its Change Firmware gallery.
change_single_brake_firmware() {
  key End Up alt+h
  sleep 0.5
  key Down Return
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
key Return
behave DownloadFirmware=normal

# Messages with the first one read, the feedback list and a new feedback; then the window while
# it checks for updates.
key alt+r
sleep 0.5
key alt+q
sleep 0.8
key Home
shot messages
key Escape
sleep 0.5
key alt+y
shot feedback-list
key Return
sleep 0.5
type_text "Clutch feels heavy"
key Tab
type_text "After the 3.4 update the clutch needs more force than before."
shot new-feedback
key Escape
sleep 0.3
key Escape
sleep 0.5
key alt+p
shot checking-for-updates 1.5
sleep 4  # the slow check ends

# Capture to File with a name whose added extension names a file that is there: asked first.
pictures="$(mktemp -d)"
touch "$pictures/lap.bmp"
key alt+w
sleep 0.5
key Down Down Return
sleep 1
type_text "$pictures/lap"
key Return
shot replace-picture-question
key Escape
sleep 0.3
key Escape
rm -rf "$pictures"

# The trace of the quad (from its brake's line), and of the single, whose load cell rests and is
# noisy: each shown for longer than the health window.
key Home Down alt+t
shot trace-view 4
key Escape
sleep 0.5
key End alt+t
shot trace-view-noisy-cell 4
key Escape
