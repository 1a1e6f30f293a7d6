#!/usr/bin/env bash
# kestrane-cli as a user runs it, from a program folder with the flashing scripts, on the demo's
# simulated controllers and the stand-in service: what each command prints, its exit codes, the
# real avrdude flashing the simulated bootloader, the refusal while the center runs, and watch
# on a real terminal (tmux) that is left as it was after Ctrl-C.
# Usage: cli_test.sh KESTRANE_CLI KESTRANE STAND_IN SOURCE_ROOT
set -euo pipefail
source_root="$4"
work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  tmux -L quorvane-cli-test kill-server 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "cli test: FAILED: $*" >&2; exit 1; }

source "$source_root/tests/support/cli_workspace.sh"
cli_workspace "$1" "$3"
export QUORVANE_SIMULATED_DEVICES="$source_root/packaging/simulated/demo.xml"

# expect STATUS COMMAND...: runs it, keeps its output in $work/out and $work/err.
expect() {
  local expected=$1 status=0
  shift
  "$@" >"$work/out" 2>"$work/err" || status=$?
  [ "$status" -eq "$expected" ] || { cat "$work/out" "$work/err"; fail "'$*' ended with $status, not $expected"; }
}
said() { grep -qF -- "$1" "$work/$2" || { cat "$work/$2"; fail "no '$1'"; }; }

# health: the demo's single brake rests with a noisy cell (exit 7); a clean resting cell is
# steady (exit 0); the quad's pedals move, so they cannot be measured (exit 7).
expect 7 "$cli" health QVA-S-1002
said "Brake: noisy: check the load cell's cable and connector (noise " out
sed 's|<raw channel="0" kind="sine"[^>]*>|<raw channel="0" kind="constant" value="151000" noise="300"/>|' \
  "$source_root/packaging/simulated/single-brake.xml" > "$work/resting.xml"
QUORVANE_SIMULATED_DEVICES="$work/resting.xml" expect 0 "$cli" health QVA-S-0001 --seconds 3
said "Brake: steady (noise " out
expect 7 "$cli" health QVB-Q-1001
said "Clutch: moving: keep your foot off the pedal to measure it (lowest " out
# trace: a JSON object per channel and second, the noisy cell named as such once measured.
expect 0 "$cli" trace QVA-S-1002 --seconds 3 --json
said '"channel":"Brake"' out
said '"seconds":3' out
said '"verdict":"noisy: check the load cell' out

expect 0 "$cli" list
said "QVB-Q-1001  Quorvane Brake Controller  (quad, firmware QV-Quad v3.2)" out
said "  button 7   Sequential Gearbox Up" out
said "  update: Single Brake Firmware v2.1 (2.1.0.0)" out
expect 0 "$cli" list --json
python3 - "$work/out" <<'EOF'
import json, sys
document = json.load(open(sys.argv[1]))
quad, single = document["controllers"]
assert document["serviceAnswered"] is True
assert (quad["serial"], quad["kind"], quad["firmware"]["version"]) == ("QVB-Q-1001", "quad", "3.2"), quad
assert [c["name"] for c in quad["channels"]] == ["Brake", "Accelerator", "Clutch", "Handbrake"], quad
assert [b["slot"] for b in quad["buttons"]] == [3, 7], quad
assert (single["kind"], single["update"]["version"]) == ("single", "2.1.0.0"), single
EOF

# Live values as JSON lines follow the moving brake of the single controller.
timeout -s INT 1 "$cli" watch QVA-S-1002 --json >"$work/watch" || [ $? -eq 124 ]
python3 - "$work/watch" <<'EOF'
import json, sys
values = [json.loads(line) for line in open(sys.argv[1])]
assert len(values) >= 10 and all(v["serial"] == "QVA-S-1002" and v["name"] == "Brake" for v in values), values[:3]
assert len({v["value"] for v in values}) >= 10, "the value did not move"
assert all(0.0 <= v["fraction"] <= 1.0 for v in values)
EOF

# Calibration and a firmware change, and what bad input gets.
expect 0 "$cli" calibrate QVA-S-1002 brake max
said "Calibrating Controller... 1 seconds left..." out
expect 2 "$cli" calibrate QVA-S-1002 brake min=abc
said "is not a number" err
expect 2 "$cli" calibrate QVA-S-1002 gearbox min
expect 2 "$cli" calibrate QVX-0000 brake max
said "connected: QVB-Q-1001, QVA-S-1002" err
# A mirror that changed the image after the maker signed it, or serves it unsigned: nothing is
# flashed, and the reason is told.
behave() {
  python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], data=sys.argv[2].encode()).read()' \
    "${QUORVANE_SERVICE_ENDPOINT%/Services/*}/control" "$1"
}
for hostile in "tampered:its content does not match its signature" "unsigned:its signature is missing"; do
  behave "DownloadFirmware=${hostile%%:*}"
  expect 5 "$cli" firmware change QVA-S-1002 2.1
  said "Firmware Update Failed!" out
  said "The firmware 'qv-single-2.1.bin' was not flashed: it is refused because ${hostile#*:}" err
done
behave DownloadFirmware=normal
# An answer that cannot be decoded is said in words, not as an unknown exception.
behave EnumerateFirmwares=badbase64
expect 1 "$cli" firmware recover qv-single 2.1
[ "$(cat "$work/err")" = "kestrane-cli: CryptStringToBinary failed" ] || { cat "$work/err"; fail "a bad answer was not said"; }
behave EnumerateFirmwares=normal
expect 0 "$cli" list
grep -q "QVA-S-1002 .*firmware QV-Single v2.0)" "$work/out" || { cat "$work/out"; fail "a refused image was flashed"; }
expect 0 "$cli" firmware change QVA-S-1002 2.1 --verbose
said "bytes of flash verified" out
said "QVA-S-1002 is back with firmware QV-Single v2.1" out
expect 2 "$cli" firmware change QVA-S-1002 9.9
said "offered: QV-Single 2.1.0.0" err
expect 2 "$cli" list --colour
# Two units with one serial number: which one is meant cannot be told, so neither is touched.
cat > "$work/twins.xml" <<'END'
<controllers>
  <controller path="sim/unit-a" serial="QVA-S-7777"><identity firmware="QV-Single" family="A" configuration="S" major="2" minor="0" slots="1"/></controller>
  <controller path="sim/unit-b" serial="QVA-S-7777"><identity firmware="QV-Single" family="A" configuration="S" major="2" minor="2" slots="1"/></controller>
</controllers>
END
# A controller there that the user may not open is said to be there, with what to do.
echo '<controllers><controller path="sim/locked" serial="QVA-S-1"><identity firmware="QV-Single" family="A" configuration="S" major="2" minor="0" slots="1"/></controller></controllers>' |
  sed 's/path="sim\/locked"/path="sim\/locked" denied="true"/' > "$work/denied.xml"
for command in list watch "calibrate QVA-S-1 brake max"; do
  # shellcheck disable=SC2086
  QUORVANE_SIMULATED_DEVICES="$work/denied.xml" expect 3 "$cli" $command
  said "A Quorvane controller is connected (sim/locked) but may not be opened: permission denied." err
  said "60-quorvane.rules" err
done
QUORVANE_SIMULATED_DEVICES="$work/twins.xml" expect 2 "$cli" firmware change QVA-S-7777 2.1
said "More than one controller has the serial number 'QVA-S-7777' (sim/unit-a, sim/unit-b)" err
echo '<controllers/>' > "$work/none.xml"
QUORVANE_SIMULATED_DEVICES="$work/none.xml" expect 3 "$cli" watch

# Feedback: sent, then listed with the reply the maker dropped in; the list asks with this user's
# identifier and keeps it in the file it saves.
expect 0 "$cli" feedback send "Clutch feels heavy" "After the 3.4 update the clutch needs more force."
feedback_file="$work/data/Quorvane/Kestrane/Quorvane.UserFeedback.xml"
user_id="$(grep -o 'userId="[^"]*"' "$feedback_file")"
[ -n "$user_id" ] && [ "$user_id" != 'userId=""' ] || fail "the sent feedback has no user identifier: $(cat "$feedback_file")"
echo '<reply respondedTimeStamp="2026-12-08T10:00:00">Fixed in 3.5.</reply>' > "$work/service/feedback/replies/1.xml"
expect 0 "$cli" feedback list
said "Clutch feels heavy" out
said "Reply: Fixed in 3.5." out
grep -qF "$user_id" "$feedback_file" || fail "listing the feedback lost the user identifier: $(cat "$feedback_file")"

# While the center runs, what changes a controller refuses; what reads works beside it.
"$2" --headless >"$work/center.log" 2>&1 &
pids+=("$!")
for _ in $(seq 100); do flock -n "$work/run/Kestrane.lock" true 2>/dev/null || break; sleep 0.1; done
expect 6 "$cli" calibrate QVA-S-1002 brake max
said "Kestrane, the Quorvane center, is running" err
expect 6 "$cli" firmware update QVA-S-1002
expect 0 "$cli" list
kill "${pids[-1]}"

# watch on a terminal: bars while it runs, and the terminal as it was after Ctrl-C.
tmux -L quorvane-cli-test new-session -d -x 100 -y 20 "env -u TMUX bash --norc --noprofile"
tmux -L quorvane-cli-test send-keys "PS1='ready> '; clear; echo before the watch" Enter
sleep 0.3
tmux -L quorvane-cli-test send-keys "$cli watch" Enter
sleep 1.5
tmux -L quorvane-cli-test capture-pane -p > "$work/screen"
grep -qE '^  Brake +\[#*\.*\] +[0-9]+ +[0-9.]+ %$' "$work/screen" || { cat "$work/screen"; fail "watch drew no bars"; }
tmux -L quorvane-cli-test send-keys C-c
sleep 0.5
tmux -L quorvane-cli-test capture-pane -p | sed -e 's/ *$//' -e '/^$/d' > "$work/screen"
[ "$(cat "$work/screen")" = "$(printf 'before the watch\nready> %s watch\nready>' "$cli")" ] ||
  { cat "$work/screen"; fail "the terminal was not left as it was"; }
echo "cli test: passed"
