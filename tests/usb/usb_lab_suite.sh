#!/usr/bin/env bash
# The center's device code against the real Linux USB and HID stack, run inside the USB lab
# (scripts/usb-lab.sh): controller twins as uhid devices and, after a reset, as USB serial
# bootloaders on the dummy host controller; the command-line companion on the real hidapi
# backend (no simulated controllers anywhere), the real avrdude, udevd with the shipped rules.
# Usage (in the lab): tests/usb/usb_lab_suite.sh BUILD_FOLDER
set -uo pipefail
build="$(cd "$1" && pwd)"
source_root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done; wait 2>/dev/null; }
trap cleanup EXIT
failures=0
fail() { echo "usb lab: FAILED: $*"; failures=$((failures + 1)); }
pass() { echo "usb lab: ok: $*"; }
start=$SECONDS
# Every step of the companion is bounded, so that a hang is a failure with its output rather
# than the lab's time limit.
step() { timeout -k 5 "${step_seconds:-120}" "$@"; }

source "$source_root/tests/support/cli_workspace.sh"
cli_workspace "$build/center/cli/kestrane-cli" "$build/tools/local-service/quorvane-local-service"
unset QUORVANE_SIMULATED_DEVICES
twin_program="$build/tools/controller-twin/quorvane-controller-twin"

# start_twin DESCRIPTION [ARGUMENTS...]: a twin whose lines go to $work/twin.out; waits for "ready".
start_twin() {
  "$twin_program" "$@" >"$work/twin.out" 2>&1 &
  twin=$!
  pids+=("$twin")
  for _ in $(seq 200); do grep -q '^ready' "$work/twin.out" && break; sleep 0.05; done
  udevadm settle
}
stop_twin() { kill "$twin" 2>/dev/null; wait "$twin" 2>/dev/null; udevadm settle; }
# await TEXT FILE [SECONDS]: waits for a line with the text.
await() { for _ in $(seq $((${3:-20} * 20))); do grep -qF -- "$1" "$2" && return 0; sleep 0.05; done; return 1; }
# await_count TEXT FILE COUNT SECONDS: waits for COUNT lines with the text.
await_count() {
  for _ in $(seq $(($4 * 20))); do [ "$(grep -cF -- "$1" "$2")" -ge "$3" ] && return 0; sleep 0.05; done
  return 1
}

# change_under SWITCH NAME: a twin of the single brake with the fault switch, and a firmware
# change of it; its exit in $status, its seconds in $seconds, its output in $work/NAME.out.
change_under() {
  start_twin "$source_root/packaging/simulated/single-brake.xml" "$1"
  begin=$SECONDS
  step "$cli" firmware change QVA-S-0001 2.1 >"$work/$2.out" 2>&1
  status=$?
  seconds=$((SECONDS - begin))
}

start_twin "$source_root/packaging/simulated/demo.xml"

# Discovery through hidraw: names, serial numbers, firmware versions and rows.
if step "$cli" list --json >"$work/list.json" 2>"$work/list.err"; then
  python3 - "$work/list.json" <<'CHECK' && pass "discovery" || fail "discovery: $(cat "$work/list.json")"
import json, sys
controllers = {c["serial"]: c for c in json.load(open(sys.argv[1]))["controllers"]}
quad, single = controllers["QVB-Q-1001"], controllers["QVA-S-1002"]
assert quad["kind"] == "quad" and quad["firmware"] == {"name": "QV-Quad", "version": "3.2"}, quad
assert [c["name"] for c in quad["channels"]] == ["Brake", "Accelerator", "Clutch", "Handbrake"], quad
assert [b["name"] for b in quad["buttons"]] == ["Sequential Gearbox Down", "Sequential Gearbox Up"], quad
assert single["kind"] == "single" and single["firmware"]["version"] == "2.0", single
assert quad["name"] == single["name"] == "Quorvane Brake Controller", controllers
CHECK
else
  fail "list exited $? ($(cat "$work/list.err"))"
fi

# The load cells' health through hidraw: the demo's single brake rests with a noisy cell.
step "$cli" health QVA-S-1002 >"$work/health.out" 2>&1
status=$?
if [ "$status" -eq 7 ] && grep -q "^Brake: noisy: check the load cell's cable and connector (noise " "$work/health.out"; then
  pass "health finds the noisy load cell"
else
  fail "health (exit $status): $(cat "$work/health.out")"
fi

# Live values read through hidraw follow the twin.
timeout -s INT 2 "$cli" watch QVB-Q-1001 --json >"$work/watch.json"
python3 - "$work/watch.json" <<'CHECK' && pass "live values" || fail "live values: $(head -c 600 "$work/watch.json")"
import json, sys
values = {}
for line in open(sys.argv[1]):
    item = json.loads(line)
    values.setdefault(item["name"], set()).add(item["value"])
assert len(values.get("Accelerator", ())) >= 3, values
CHECK

# Calibration commands reach the twin as SET_REPORT requests on the control pipe, byte for byte.
step "$cli" calibrate QVB-Q-1001 1 min=1200 >"$work/calibrate.out" 2>&1 || fail "calibrate min=1200 exited $?"
step "$cli" calibrate QVA-S-1002 0 max >>"$work/calibrate.out" 2>&1 || fail "calibrate max exited $?"
zeros="$(printf ' 00%.0s' $(seq 57))"
if grep -qx "command QVB-Q-1001 set-report 10 02 b0 04 00 00$zeros" "$work/twin.out" &&
   grep -qx "command QVA-S-1002 set-report 10 01 00 00 00 00$zeros" "$work/twin.out" &&
   ! grep -q '^refused' "$work/twin.out"; then
  pass "calibration commands as SET_REPORT"
else
  fail "calibration commands: $(cat "$work/twin.out")"
fi

# The shipped rules through the real udevd: the user at the seat gets the controllers' nodes,
# nobody else does.
for node in /dev/hidraw*; do
  tags="$(udevadm info --query=property "$node" | sed -n 's/^TAGS=//p')"
  mode="$(stat -c '%a %U %G' "$node")"
  if [[ "$tags" == *:uaccess:* ]] && [ "$mode" = "600 root root" ]; then
    pass "$node tagged uaccess, mode $mode"
  else
    fail "$node: tags '$tags', mode $mode"
  fi
done

# A serial port of the chip maker's vendor id that is no bootloader gets none of the bootloader
# rule. (Its uaccess tag is not ours to judge: the flashing tool's own rules give every CDC-ACM
# port to the user at the seat.) It stays on the bus through the firmware change that follows, so
# the bootloader comes up beside it as the second port.
gadget=/sys/kernel/config/usb_gadget/other-serial
mkdir -p "$gadget/strings/0x409" "$gadget/configs/c.1" "$gadget/functions/acm.usb0"
echo 0x03eb > "$gadget/idVendor"; echo 0x2404 > "$gadget/idProduct"
ln -s "$gadget/functions/acm.usb0" "$gadget/configs/c.1/"
ls /sys/class/udc | head -n 1 > "$gadget/UDC"
for _ in $(seq 100); do [ -e /dev/ttyACM0 ] && break; sleep 0.05; done
udevadm settle
properties="$(udevadm info --query=property /dev/ttyACM0 2>&1)"
if [ -e /dev/ttyACM0 ] && grep -q '^ID_USB_MODEL_ID=2404' <<<"$properties" &&
   ! grep -q '^ID_MM_DEVICE_IGNORE=' <<<"$properties"; then
  pass "another serial device of the vendor is left alone"
else
  fail "the other serial device: $properties"
fi
# Whatever reaches the other device is kept, to show that nothing does.
other_port="/dev/ttyGS$(cat "$gadget/functions/acm.usb0/port_num")"
cat "$other_port" >"$work/other-serial.in" 2>&1 &
other_reader=$!
pids+=("$other_reader")

# A firmware change through the center's firmware code: the reset command, the bootloader's
# port found as the new USB serial port (/dev/ttyACM1, beside the other device's), the real
# avrdude, the controller back with the new version.
step "$cli" firmware change QVA-S-1002 2.1 >"$work/change.out" 2>&1 &
flash=$!
if await "bootloader QVA-S-1002" "$work/twin.out"; then
  for _ in $(seq 100); do [ -e /dev/ttyACM1 ] && break; sleep 0.05; done
  udevadm settle
  properties="$(udevadm info --query=property /dev/ttyACM1 2>&1)"
  grep -q '^ID_USB_MODEL_ID=204a' <<<"$properties" && grep -q '^ID_MM_DEVICE_IGNORE=1' <<<"$properties" &&
    grep -q '^TAGS=.*:uaccess:' <<<"$properties" &&
    pass "the bootloader's port: modem manager kept away, uaccess" || fail "the bootloader's port: $properties"
else
  fail "no bootloader came up: $(cat "$work/twin.out")"
fi
wait "$flash"
status=$?
if [ "$status" -eq 0 ] && grep -q "QVA-S-1002 is back with firmware QV-Single v2.1" "$work/change.out" &&
   grep -q "^command QVA-S-1002 set-report 30 5c 17 e2 09 a4 3b 70 d8 91 2e c6 0f 48 b3 6a 1d 00" "$work/twin.out" &&
   [ ! -s "$work/other-serial.in" ] && grep -q "^hid QVA-S-1002 QV-Single 2.1" "$work/twin.out"; then
  pass "firmware change: the reset command as SET_REPORT, avrdude over /dev/ttyACM1, the other port untouched"
else
  fail "firmware change (exit $status): $(cat "$work/change.out") $(cat "$work/twin.out") other port got: $(head -c 200 "$work/other-serial.in")"
fi
kill "$other_reader" 2>/dev/null
echo "" > "$gadget/UDC"; rm "$gadget/configs/c.1/acm.usb0"
rmdir "$gadget/configs/c.1" "$gadget/functions/acm.usb0" "$gadget/strings/0x409" "$gadget"
udevadm settle

# An update to the newest firmware the list offers.
if step "$cli" firmware update QVB-Q-1001 --verbose >"$work/update.out" 2>&1 &&
   grep -q "QVB-Q-1001 is back with firmware QV-Quad v3.4" "$work/update.out"; then
  pass "firmware update"
else
  fail "firmware update: $(cat "$work/update.out") $(tail -n 20 "$work/twin.out")"
fi
stop_twin

# Pulled out and plugged in again during watch --json: the controller is said to leave and to
# come back, so that its last values are never taken for released pedals.
start_twin "$source_root/packaging/simulated/single-brake.xml"
timeout -s INT 20 "$cli" watch --json >"$work/presence.json" 2>&1 &
watcher=$!
await '"value"' "$work/presence.json" 10
stop_twin
left=0
await '{"event":"left","path":"' "$work/presence.json" 10 && left=1
start_twin "$source_root/packaging/simulated/single-brake.xml"
if [ "$left" -eq 1 ] && await '{"event":"connected","path":"' "$work/presence.json" 10 &&
   grep -q '"serial":"QVA-S-0001"' "$work/presence.json"; then
  pass "watch says when the controller leaves and comes back"
else
  fail "watch events: $(tail -c 600 "$work/presence.json")"
fi
kill -INT "$watcher" 2>/dev/null
wait "$watcher" 2>/dev/null
stop_twin

# A controller that stops answering (no GET_REPORT answered): Ctrl-C still ends watch within a
# second, and list says it is there but not answering, never that none is connected.
start_twin "$source_root/packaging/simulated/single-brake.xml"
"$cli" watch --json >"$work/stall.json" 2>&1 &
watcher=$!
await '"value"' "$work/stall.json" 10
kill -USR2 "$twin"
await "stalled" "$work/twin.out" 5
sleep 1.5  # the watch now waits on the controller
begin=$(date +%s%N)
kill -INT "$watcher"
wait "$watcher"
watch_status=$?
stop_ms=$((($(date +%s%N) - begin) / 1000000))
step "$cli" list >"$work/stall-list.out" 2>&1
list_status=$?
if [ "$watch_status" -eq 0 ] && [ "$stop_ms" -lt 1000 ] && [ "$list_status" -eq 0 ] &&
   grep -q "QVA-S-0001 .*(not answering: unplug it and plug it in again)" "$work/stall-list.out"; then
  pass "a stalled controller: Ctrl-C ended watch in $stop_ms ms, list says it is not answering"
else
  fail "a stalled controller: watch ended $watch_status after $stop_ms ms; list ($list_status): $(cat "$work/stall-list.out")"
fi
kill -USR2 "$twin"
stop_twin

# The bootloader pulled mid-flash (its USB device gone after 1 KiB of flash): the flashing tool
# is stopped once the port is gone, the job fails with its reason, and nothing hangs.
change_under --vanish-mid-flash vanish
if [ "$status" -eq 5 ] && grep -q "^vanished QVA-S-0001" "$work/twin.out" &&
   grep -q "Firmware Update Failed!" "$work/vanish.out" &&
   grep -q "The flashing tool was stopped: its port /dev/ttyACM[0-9]* went away." "$work/vanish.out"; then
  pass "a bootloader pulled mid-flash ends the job in $seconds s with its reason"
else
  fail "a bootloader pulled mid-flash (exit $status after $seconds s): $(cat "$work/vanish.out") $(tail -n 5 "$work/twin.out")"
fi
stop_twin

# A reset command the controller never acknowledges: no bootloader can come, the job says so
# within the port wait, and the controller is still there and usable afterwards.
change_under --refuse-reset no-reset
step "$cli" list >"$work/no-reset-list.out" 2>&1
if [ "$status" -eq 5 ] && grep -q "^refused QVA-S-0001 reset" "$work/twin.out" &&
   grep -q "No Controller Reset or COM port detected!" "$work/no-reset.out" && [ "$seconds" -le 20 ] &&
   grep -q "^QVA-S-0001 .*firmware QV-Single v2.0" "$work/no-reset-list.out"; then
  pass "an unacknowledged reset ends the job in $seconds s and leaves the controller as it was"
else
  fail "an unacknowledged reset (exit $status after $seconds s): $(cat "$work/no-reset.out") $(cat "$work/no-reset-list.out")"
fi
stop_twin

# A controller that takes the reset but whose bootloader never comes: the job says so within
# the port wait; the controller is left for crash recovery, which brings it back once its reset
# button is pressed, its bootloader taking scrambled images (Secure Crash Recovery).
change_under --no-bootloader no-bootloader
step "$cli" firmware recover QV-Single 2.1 --secure >"$work/no-bootloader-recover.out" 2>&1 &
recover=$!
await "Perform Hardware Reset" "$work/no-bootloader-recover.out" && kill -USR1 "$twin"
wait "$recover"
recover_status=$?
if [ "$status" -eq 5 ] && grep -q "^crashed QVA-S-0001" "$work/twin.out" &&
   grep -q "No Controller Reset or COM port detected!" "$work/no-bootloader.out" && [ "$seconds" -le 20 ] &&
   [ "$recover_status" -eq 0 ] && await "hid QVA-S-0001 QV-Single 2.1" "$work/twin.out" 10; then
  pass "a bootloader that never comes ends the job in $seconds s; crash recovery brings the controller back"
else
  fail "a bootloader that never comes (exit $status after $seconds s, recovery $recover_status): $(cat "$work/no-bootloader.out") $(cat "$work/no-bootloader-recover.out")"
fi
stop_twin

# A bootloader that comes only after the center stopped waiting for it (15 s after the reset):
# the job says so within the port wait and flashes nothing into the late port; the bootloader,
# left alone, starts the old firmware again.
change_under --late-bootloader late-bootloader
if [ "$status" -eq 5 ] && grep -q "No Controller Reset or COM port detected!" "$work/late-bootloader.out" &&
   [ "$seconds" -le 20 ] && ! grep -q "^bootloader QVA-S-0001" "$work/twin.out" &&
   await "bootloader QVA-S-0001" "$work/twin.out" 10 &&
   await_count "hid QVA-S-0001 QV-Single 2.0" "$work/twin.out" 2 20; then
  pass "a bootloader that comes late: the job ends in $seconds s, nothing is flashed into it"
else
  fail "a late bootloader (exit $status after $seconds s): $(cat "$work/late-bootloader.out") $(cat "$work/twin.out")"
fi
stop_twin

# A bootloader that leaves the moment it answered the exit command: the flash was good, and
# the controller is back with it.
change_under --no-exit-grace no-grace
if [ "$status" -eq 0 ] && grep -q "QVA-S-0001 is back with firmware QV-Single v2.1" "$work/no-grace.out"; then
  pass "a bootloader that leaves at once after the exit command: the change succeeds in $seconds s"
else
  fail "no exit grace (exit $status after $seconds s): $(cat "$work/no-grace.out") $(tail -n 5 "$work/twin.out")"
fi
stop_twin

# A controller that takes commands only on the interrupt pipe: the center sends them as
# SET_REPORT requests, as the firmware is specified, and says plainly that it was not taken.
start_twin "$source_root/packaging/simulated/single-brake.xml" --interrupt-output-only
step "$cli" calibrate QVA-S-0001 0 max >"$work/interrupt-only.out" 2>&1
status=$?
if [ "$status" -ne 0 ] && grep -q "did not take the calibration command" "$work/interrupt-only.out" &&
   grep -qx "refused QVA-S-0001 set-report 10 01 00 00 00 00$zeros" "$work/twin.out" &&
   ! grep -q "^command QVA-S-0001" "$work/twin.out"; then
  pass "a controller that refuses SET_REPORT: the calibration is said not taken"
else
  fail "interrupt pipe only (exit $status): $(cat "$work/interrupt-only.out") $(cat "$work/twin.out")"
fi
stop_twin

# A slow firmware (every report answered 400 ms late, within the kernel's time-out): it is
# listed with its firmware and its values are read, however slowly.
start_twin "$source_root/packaging/simulated/single-brake.xml" --late-reports
step "$cli" list >"$work/late-list.out" 2>&1
timeout -s INT 8 "$cli" watch --json >"$work/late-watch.json" 2>&1
if grep -q "^QVA-S-0001 .*firmware QV-Single v2.0" "$work/late-list.out" && grep -q '"value"' "$work/late-watch.json"; then
  pass "a controller that answers late is listed and read"
else
  fail "a controller that answers late: $(cat "$work/late-list.out") $(head -c 300 "$work/late-watch.json")"
fi
stop_twin

# A report descriptor with a nested collection that has a usage: the HID library lists the
# device once per usage pair, all with one path; the controller is listed once, with its rows.
start_twin "$source_root/packaging/simulated/demo.xml" --nested-collection
if step "$cli" list --json >"$work/nested.json" 2>&1 && python3 - "$work/nested.json" <<'CHECK'; then
import json, sys
serials = [c["serial"] for c in json.load(open(sys.argv[1]))["controllers"]]
assert sorted(serials) == ["QVA-S-1002", "QVB-Q-1001"], serials
CHECK
  pass "a descriptor with a nested collection: each controller listed once"
else
  fail "nested collection: $(cat "$work/nested.json")"
fi
stop_twin

# As a user the nodes are not given to, and then with access granted as logind grants the user
# at the seat (an ACL on the node): told what to do, then served.
start_twin "$source_root/packaging/simulated/single-brake.xml"
chmod 755 "$work" "$work/root" "$work/root/Quorvane" "$work/root/Quorvane/Kestrane"
install -d -o 65534 -g 65534 -m 700 "$work/nobody" "$work/nobody/run"
as_nobody() {
  timeout -k 5 60 setpriv --reuid=65534 --regid=65534 --clear-groups -- env -i PATH=/usr/bin:/bin \
    HOME="$work/nobody" XDG_DATA_HOME="$work/nobody" XDG_RUNTIME_DIR="$work/nobody/run" \
    QUORVANE_SERVICE_ENDPOINT="$QUORVANE_SERVICE_ENDPOINT" "$@"
}
as_nobody "$cli" list >"$work/nobody.out" 2>&1
denied_status=$?
for node in /dev/hidraw*; do setfacl -m u:65534:rw "$node"; done
as_nobody "$cli" list >"$work/nobody-acl.out" 2>&1
granted_status=$?
if [ "$denied_status" -eq 3 ] &&
   grep -q "is connected (/dev/hidraw[0-9]*) but may not be opened: permission denied" "$work/nobody.out" &&
   [ "$granted_status" -eq 0 ] && grep -q "^QVA-S-0001 " "$work/nobody-acl.out"; then
  pass "a user without access is told what to do; with an ACL on the node, served"
else
  fail "unprivileged user: without access ($denied_status): $(cat "$work/nobody.out"); with an ACL ($granted_status): $(cat "$work/nobody-acl.out")"
fi
stop_twin

# A firmware that answers its reports short, or under another report id: neither is taken for
# values (the controller is listed as not answering, not with the firmware those bytes would say).
for fault in --short-reports --wrong-report-id; do
  start_twin "$source_root/packaging/simulated/single-brake.xml" "$fault"
  step "$cli" list >"$work/fault-list.out" 2>&1
  if grep -q "QVA-S-0001 .*(not answering: unplug it and plug it in again)" "$work/fault-list.out"; then
    pass "reports answered with $fault are refused"
  else
    fail "reports answered with $fault: $(cat "$work/fault-list.out")"
  fi
  stop_twin
done

# Plugged in and pulled out while the center runs: through the udev monitor.
if step "$build/tests/usb/usb_lab_hotplug_test" "$twin_program" "$source_root/packaging/simulated/single-brake.xml" \
    QVA-S-0001 >"$work/hotplug.out" 2>&1; then
  pass "hot plug while the center runs"
else
  fail "hot plug: $(cat "$work/hotplug.out")"
fi

echo "usb lab: $failures failed, in $((SECONDS - start)) s"
[ "$failures" -eq 0 ]
