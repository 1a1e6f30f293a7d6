#!/usr/bin/env bash
# The update path of the installed package as a user meets it, with the real pkexec, polkitd on a
# system bus, and dpkg: the center's hand-off and the updater's own update install signed packages
# that dpkg then knows, a refused authorisation or a failing installer keeps the offer and tells
# the user, and every attack on the one root program is refused. There is no logind here, so no
# password agent can answer: a polkit rule for the test user stands in for the administrator's
# password; everything after it is real.
# Usage (as root, the package installed): update_path_test.sh PACKAGE.deb STAND_IN UPDATE_DRIVER
set -euo pipefail
deb="$(realpath "$1")"
stand_in="$(realpath "$2")"
source_root="$(cd "$(dirname "$0")/../.." && pwd)"
[ "$(id -u)" -eq 0 ] || { echo "update path test: needs root" >&2; exit 2; }

fail() { echo "update path test: FAILED: $*" >&2; exit 1; }
say() { echo "update path test: $*"; }

user=qvracer
display=97
helper=/opt/Quorvane/Updater/quorvane-install-update
rule=/etc/polkit-1/rules.d/49-quorvane-package-test.rules
work="$(mktemp -d /tmp/quorvane-update-test.XXXXXX)"
chmod 755 "$work"
started=()
dev_log_ours=0
cleanup() {
  pkill -u "$user" 2>/dev/null || true
  [ "$dev_log_ours" -eq 1 ] && rm -f /dev/log
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -f "$rule"
  userdel -r "$user" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

id "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$user"
uid="$(id -u "$user")"
home="$(getent passwd "$user" | cut -d: -f6)"
run="$work/run-$user"
install -d -m 700 -o "$user" -g "$user" "$run"
# The driver is the center's own update code; it runs as the user, so it lies where they may read.
install -m 755 "$3" "$work/update_driver"

# A system bus and polkitd, as a desktop has them.
bus_answers() {
  dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}
if ! bus_answers org.freedesktop.DBus; then
  # No bus answers: a pid file or socket left by one that was killed is stale.
  mkdir -p /run/dbus
  rm -f /run/dbus/pid /run/dbus/system_bus_socket
  started+=("$(dbus-daemon --system --fork --print-pid)")
fi
if ! bus_answers org.freedesktop.PolicyKit1; then
  /usr/lib/polkit-1/polkitd --no-debug >"$work/polkitd.log" 2>&1 &
  started+=("$!")
  for _ in $(seq 100); do bus_answers org.freedesktop.PolicyKit1 && break; sleep 0.1; done
  bus_answers org.freedesktop.PolicyKit1 || { cat "$work/polkitd.log"; fail "polkitd did not start"; }
fi
# The administrator's answer for the test user: yes or no. polkitd rereads its rules by itself;
# pkcheck on a process of the user tells when the new answer holds.
setpriv --reuid="$user" --regid="$user" --init-groups sleep 3600 &
user_process=$!
started+=("$user_process")
authorise() {
  local result=$1 expected=$2
  printf 'polkit.addRule(function(action, subject) {\n  if (action.id == "example.quorvane.updater" && subject.user == "%s") return polkit.Result.%s;\n});\n' \
    "$user" "$result" > "$rule"
  for _ in $(seq 100); do
    status=0
    pkcheck --action-id example.quorvane.updater --process "$user_process" >/dev/null 2>&1 || status=$?
    [ "$status" -eq "$expected" ] && return 0
    sleep 0.1
  done
  fail "polkitd did not take the rule answering $result"
}

# A display for the restarted center and for what the user is told; and the event log.
Xvfb ":$display" -screen 0 1280x1024x24 -ac -nolisten tcp >"$work/xvfb.log" 2>&1 &
started+=("$!")
for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
# listen_log SOCKET FILE: a syslog socket whose datagrams land in the file, a line each.
listen_log() {
  python3 -c '
import os, socket, sys
sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
sock.bind(sys.argv[1])
os.chmod(sys.argv[1], 0o666)
log = open(sys.argv[2], "ab", buffering=0)
while True:
    log.write(sock.recv(65536) + b"\n")' "$1" "$2" &
  started+=("$!")
  for _ in $(seq 100); do [ -S "$1" ] && break; sleep 0.1; done
}
listen_log "$work/log.sock" "$work/events.log"
# The install helper writes to the system log; without a system logger here, the test takes its
# place so that the helper's entries can be read.
if [ ! -e /dev/log ]; then
  dev_log_ours=1
  listen_log /dev/log "$work/system.log"
fi

# The publisher's key: a throw-away pair, trusted by the installed updater as the maker's is.
mkdir -p "$work/keys"
minisign -G -W -p "$work/keys/test.pub" -s "$work/keys/test.key" >/dev/null
minisign -G -W -p "$work/keys/stranger.pub" -s "$work/keys/stranger.key" >/dev/null
install -m 644 "$work/keys/test.pub" /opt/Quorvane/Updater/quorvane-update.pub

# Newer packages of the product: the installed one rebuilt with another version, in the package's
# control file and in its programs' version notes, as a real release has it (and, for the failing
# install, a preinst script that refuses).
cp -r "$source_root/packaging/local-service" "$work/service"
mkdir -p "$work/service/packages"
set_version_note() {  # FILE VERSION: the four 16-bit numbers of the program's version note
  local offset
  offset="$(objdump -h "$1" 2>/dev/null | awk '$2 == "quorvane_version" { print $6 }' || true)"
  [ -n "$offset" ] || return 0
  IFS=. read -r -a parts <<< "$2"
  python3 -c 'import struct, sys; sys.stdout.buffer.write(struct.pack("<4H", *map(int, sys.argv[1:])))' "${parts[@]}" |
    dd of="$1" bs=1 seek=$((16#$offset)) conv=notrunc status=none
}
repack() {  # VERSION [refusing | NOTE_VERSION]: NOTE_VERSION, the programs carry another version
  local version=$1 tree="$work/tree-$1" notes="$1"
  [[ "${2:-}" =~ ^[0-9.]+$ ]] && notes=$2
  dpkg-deb -R "$deb" "$tree"
  sed -i "s/^Version: .*/Version: $version/" "$tree/DEBIAN/control"
  install -m 644 "$work/keys/test.pub" "$tree/opt/Quorvane/Updater/quorvane-update.pub"
  for program in "$tree"/opt/Quorvane/*/*; do
    [ -f "$program" ] && [ -x "$program" ] && set_version_note "$program" "$notes"
  done
  if [ "${2:-}" = refusing ]; then
    printf '#!/bin/sh\necho "preinst: this package refuses to install" >&2\nexit 1\n' > "$tree/DEBIAN/preinst"
    chmod 755 "$tree/DEBIAN/preinst"
  fi
  (cd "$tree" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | xargs -0 md5sum) > "$tree/DEBIAN/md5sums"
  dpkg-deb --root-owner-group -b "$tree" "$work/service/packages/quorvane_${version}_amd64.deb" >/dev/null
  rm -rf "$tree"
}
for version in 1.0.0.1 1.0.0.2 1.0.0.4 1.0.0.5 1.0.0.6; do repack "$version"; done
repack 1.0.0.3 refusing
repack 1.0.0.7 1.0.0.6
# sign FILE VERSION [KEY] [NAME]: as the maker publishes, the trusted comment naming the file and
# its version (NAME: another file name the signature claims).
sign() {
  local name="${4:-$(basename "$1")}"
  minisign -S -s "${3:-$work/keys/test.key}" -m "$1" -t "file:$name version:$2" >/dev/null
}

# The catalogue offers one package: "offer ID VERSION".
offer() {
  local id=$1 version=$2
  IFS=. read -r major minor build revision <<< "$version"
  cat > "$work/service/packages.xml" <<END
<packages>
  <package softwareID="$id" beta="false" major="$major" minor="$minor" build="$build" revision="$revision">
    <file name="quorvane_${version}_amd64.deb" mimeType="application/vnd.debian.binary-package"
          installCommand="" path="packages/quorvane_${version}_amd64.deb"/>
  </package>
</packages>
END
}
offer Kestrane 1.0.0.1
"$stand_in" --data "$work/service" --sign-with "$work/keys/test.key" >"$work/service.port" 2>"$work/service.log" &
started+=("$!")
for _ in $(seq 100); do [ -s "$work/service.port" ] && break; sleep 0.05; done
endpoint="http://127.0.0.1:$(head -n 1 "$work/service.port")/Services/DefaultService.svc"
# The administrator's own change to a configuration file of the package: it must survive upgrades.
sed -i "s|<server url=\"[^\"]*\"|<server url=\"$endpoint\"|" /etc/quorvane/Tollwick.xml

as_user() {
  setpriv --reuid="$user" --regid="$user" --init-groups -- env -i HOME="$home" USER="$user" LOGNAME="$user" \
    SHELL=/bin/bash PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 XDG_RUNTIME_DIR="$run" DISPLAY=":$display" \
    QUORVANE_SYSLOG_SOCKET="$work/log.sock" QUORVANE_SERVICE_ENDPOINT="$endpoint" "$@"
}
installed_version() { dpkg-query -W -f='${Version}' quorvane; }
center_pid() { pgrep -u "$user" -f '^/opt/Quorvane/Kestrane/Kestrane' | head -n 1; }
await() {  # SECONDS COMMAND...: until the command succeeds
  local limit=$1
  shift
  for _ in $(seq $((limit * 10))); do "$@" && return 0; sleep 0.1; done
  return 1
}
updater_ended() { ! pgrep -u "$user" -x Tollwick >/dev/null; }
center_running() { [ -n "$(center_pid)" ]; }
version_is() { [ "$(installed_version)" = "$1" ]; }
logged() { grep -q -- "$1" "$work/events.log"; }
# The warning the updater shows the user: seen on the display, then answered with OK.
answer_warning() {
  local window=""
  for _ in $(seq 300); do
    window="$(DISPLAY=":$display" xdotool search --onlyvisible --name '^Warning!$' 2>/dev/null | head -n 1 || true)"
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || fail "the user was not told ($1)"
  DISPLAY=":$display" xdotool windowfocus --sync "$window" key Return
}
stop_center() {
  local pid
  pid="$(center_pid)"
  [ -n "$pid" ] && kill "$pid" && await 10 bash -c "! kill -0 $pid 2>/dev/null"
  return 0
}
ready_file() { echo "$home/.local/share/Quorvane/Updater/$1/Quorvane.UpdatesReady.xml"; }
no_staging_left() { [ -z "$(find /var/lib/quorvane -mindepth 1 -name 'staging-*' 2>/dev/null)" ]; }

# 1. The administrator refuses: nothing is installed, the offer stays, the user is told, and
#    the center comes back as it was.
authorise NO 1
as_user "$work/update_driver" /opt/Quorvane/Kestrane/Kestrane accept >"$work/driver.log" 2>&1 ||
  { cat "$work/driver.log" "$work/service.log"; fail "the center did not hand off"; }
answer_warning "authorisation refused"
await 30 updater_ended || fail "the updater did not end after the refusal"
version_is 1.0.0.0 || fail "installed $(installed_version) although the authorisation was refused"
[ -f "$(ready_file Kestrane)" ] || fail "the refused update is no longer offered"
logged "the administrator's authorisation was refused" || { cat "$work/events.log"; fail "the refusal was not logged"; }
await 10 center_running || fail "the center did not come back after the refusal"
stop_center
say "a refused authorisation installs nothing, keeps the offer, tells the user and restarts the center"

# 2. The administrator agrees: the signed package is installed by dpkg, the center restarts as the
#    user with the user's environment, and the administrator's configuration change stays.
authorise YES 0
begin=$(date +%s%N)
as_user "$work/update_driver" /opt/Quorvane/Kestrane/Kestrane accept >"$work/driver.log" 2>&1 ||
  { cat "$work/driver.log"; fail "the center did not hand off"; }
await 120 bash -c "[ \"\$(dpkg-query -W -f='\${Version}' quorvane)\" = 1.0.0.1 ] && pgrep -u $user -f '^/opt/Quorvane/Kestrane/Kestrane' >/dev/null" ||
  { cat "$work/events.log" "$work/driver.log"; ps aux | grep -i kestrane | grep -v grep; fail "the update was not installed and the center not restarted (installed $(installed_version))"; }
elapsed_ms=$((($(date +%s%N) - begin) / 1000000))
pid="$(center_pid)"
[ "$(awk '/^Uid:/ { print $2 }' "/proc/$pid/status")" = "$uid" ] || fail "the restarted center does not run as $user"
environment="$(tr '\0' '\n' < "/proc/$pid/environ")"
for expected in "USER=$user" "LOGNAME=$user" "HOME=$home" "PATH=/usr/local/bin:/usr/bin:/bin" "XDG_RUNTIME_DIR=$run" \
                "PWD=/opt/Quorvane/Kestrane"; do
  grep -qx -- "$expected" <<< "$environment" || fail "the restarted center lacks $expected: $environment"
done
! grep -q '^PKEXEC_UID=' <<< "$environment" || fail "the restarted center carries pkexec's variables"
[ "$(readlink "/proc/$pid/cwd")" = /opt/Quorvane/Kestrane ] || fail "the restarted center runs elsewhere"
await 30 updater_ended || fail "the updater did not end"
[ ! -e "$(ready_file Kestrane)" ] || fail "the installed update is still offered"
grep -q "<server url=\"$endpoint\"" /etc/quorvane/Tollwick.xml || fail "the upgrade lost the administrator's configuration"
no_staging_left || fail "the install helper left staging folders: $(ls -R /var/lib/quorvane)"
stop_center
say "Yes to the restarted center took $elapsed_ms ms; dpkg shows $(installed_version)"

# 3. The updater's own update, run by the center, which waits for it: refused, then agreed to.
offer Tollwick 1.0.0.2
authorise NO 1
status=0
as_user "$work/update_driver" /opt/Quorvane/Kestrane/Kestrane update-updater >"$work/driver.log" 2>&1 || status=$?
[ "$status" -eq 1 ] && grep -q "^told: The update of Tollwick was not installed: the administrator's authorisation" \
  "$work/driver.log" || { cat "$work/driver.log"; fail "a refused updater update was not told as such"; }
version_is 1.0.0.1 && [ -f "$(ready_file Tollwick)" ] || fail "a refused updater update changed something"
authorise YES 0
as_user "$work/update_driver" /opt/Quorvane/Kestrane/Kestrane update-updater >"$work/driver.log" 2>&1 ||
  { cat "$work/driver.log" "$work/events.log"; fail "the updater's update was not installed"; }
version_is 1.0.0.2 || fail "the updater's update left $(installed_version) installed"
[ ! -e "$(ready_file Tollwick)" ] || fail "the installed updater update is still offered"
say "the updater's own update installed $(installed_version)"

# 4. The installer fails: the offer stays and the failure is logged with the installer's output.
offer Kestrane 1.0.0.3
as_user "$work/update_driver" /opt/Quorvane/Kestrane/Kestrane accept >"$work/driver.log" 2>&1 || fail "no hand-off"
answer_warning "installer failed"
await 60 updater_ended || fail "the updater did not end after the failed install"
version_is 1.0.0.2 || fail "a failed install left $(installed_version)"
[ -f "$(ready_file Kestrane)" ] || fail "the failed update is no longer offered"
logged "ended with status 6" && logged "this package refuses to install" ||
  { cat "$work/events.log"; fail "the failed install was not logged with its output"; }
stop_center
say "a failing installer keeps the offer and logs its output"

# 5. Attacks on the root path, with an administrator who says yes to everything.
attack="$home/attack"
install -d -o "$user" -g "$user" "$attack"
helper_status() {  # ARGUMENT...: the install helper's exit status, run by the user through pkexec
  local status=0
  as_user pkexec "$helper" "$@" >"$work/helper.log" 2>&1 || status=$?
  echo "$status"
}
expect_helper() {  # STATUS TEXT ARGUMENT...: the answer, and the reason in the system log too
  local expected=$1 text=$2
  shift 2
  local status
  status="$(helper_status "$@")"
  [ "$status" = "$expected" ] && grep -q -- "$text" "$work/helper.log" ||
    { cat "$work/helper.log"; fail "the helper answered $status to $* (expected $expected, '$text')"; }
  if [ "$dev_log_ours" -eq 1 ]; then
    await 5 grep -q -- "quorvane-install-update.*$text" "$work/system.log" ||
      fail "the helper did not log '$text' in the system log"
  fi
}
good="$work/service/packages/quorvane_1.0.0.4_amd64.deb"
sign "$good" 1.0.0.4

# A ready file naming /bin/sh with a command of the attacker's, which would leave a mark where
# anyone may write.
install -d -m 1777 "$work/marks"
install -d -o "$user" -g "$user" "$home/.local/share/Quorvane/Updater/Kestrane"
as_user sh -c "cat > '$(ready_file Kestrane)'" <<END
<updateReady softwareID="Kestrane" major="9" minor="0" build="0" revision="0"><files>
<file fileName="sh" installCommand="-c &quot;id &gt; $work/marks/ran&quot;" directory="/bin/"/></files></updateReady>
END
as_user env DISPLAY= /opt/Quorvane/Updater/Tollwick /updateonly:center >/dev/null 2>&1 || true
[ ! -e "$work/marks/ran" ] || fail "a planted ready file ran a command: $(cat "$work/marks/ran")"
logged "'/bin/sh' is refused because its signature is missing" || fail "the planted ready file was not logged"
# stage CASE FILE [SIGNATURE]: a copy the user owns under the file's own name, in a folder of the
# attack's own, with the signature beside it; prints the copy's path.
stage() {
  local folder="$attack/$1" name
  name="$(basename "$2")"
  install -d -o "$user" -g "$user" "$folder"
  install -o "$user" -g "$user" -m 644 "$2" "$folder/$name"
  [ -z "${3:-}" ] || install -o "$user" -g "$user" -m 644 "$3" "$folder/$name.minisig"
  echo "$folder/$name"
}
# A download that is a link to a root-only file; extra arguments; another program.
linked="$attack/link/quorvane_1.0.0.4_amd64.deb"
install -d -o "$user" -g "$user" "$attack/link"
as_user ln -s /etc/shadow "$linked"
install -o "$user" -g "$user" -m 644 "$good.minisig" "$linked.minisig"
expect_helper 3 "is a link" "$linked"
expect_helper 2 "usage" "$(stage arguments "$good" "$good.minisig")" --force-all
expect_helper 2 "usage" /bin/sh -c "id > $work/marks/ran"
# Unsigned, changed after signing, signed by a stranger.
expect_helper 4 "signature" "$(stage unsigned "$good")"
tampered="$(stage tampered "$good" "$good.minisig")"
as_user sh -c "printf x >> '$tampered'"
expect_helper 4 "does not match" "$tampered"
cp "$good" "$work/stranger.deb"
sign "$work/stranger.deb" 1.0.0.4 "$work/keys/stranger.key" quorvane_1.0.0.4_amd64.deb
expect_helper 4 "another key" "$(stage stranger "$good" "$work/stranger.deb.minisig")"
# Replays of the maker's own signatures: the right bytes under another file's name, a package
# whose signature names another version than the package holds, and an older signed package.
replayed="$work/replay/quorvane_1.0.0.9_amd64.deb"
mkdir -p "$work/replay" && cp "$good" "$replayed" && cp "$good.minisig" "$replayed.minisig"
expect_helper 4 "made for the file 'quorvane_1.0.0.4_amd64.deb'" "$(stage renamed "$replayed" "$replayed.minisig")"
relabelled="$work/relabel/quorvane_1.0.0.6_amd64.deb"
mkdir -p "$work/relabel" && cp "$work/service/packages/quorvane_1.0.0.5_amd64.deb" "$relabelled"
sign "$relabelled" 1.0.0.6
expect_helper 5 "signature was made for version 1.0.0.6, not the package's 1.0.0.5" \
  "$(stage relabelled "$relabelled" "$relabelled.minisig")"
old="$work/service/packages/quorvane_1.0.0.1_amd64.deb"
sign "$old" 1.0.0.1
expect_helper 5 "is not above the installed" "$(stage old "$old" "$old.minisig")"
# Packages far larger than an update (a sparse file costs the user nothing): refused before any
# byte is copied as root.
sparse="$work/sparse/quorvane_1.0.0.8_amd64.deb"
mkdir -p "$work/sparse" && : > "$sparse"
sign "$sparse" 1.0.0.8  # refused on its size before its signature is read
truncate -s 2G "$sparse"
expect_helper 3 "larger than an update may be" "$(stage sparse "$sparse" "$sparse.minisig")"
# A package the user may not reach, in a folder only root's group may enter: the helper opens it
# with the user's rights alone, never with root's groups.
install -d -m 710 -o root -g root "$work/group-only"
install -m 644 -o "$user" -g "$user" "$good" "$work/group-only/quorvane_1.0.0.4_amd64.deb"
install -m 644 -o "$user" -g "$user" "$good.minisig" "$work/group-only/quorvane_1.0.0.4_amd64.deb.minisig"
expect_helper 3 "Permission denied" "$work/group-only/quorvane_1.0.0.4_amd64.deb"
version_is 1.0.0.2 || fail "an attack changed the installed package to $(installed_version)"
[ ! -e "$work/marks/ran" ] || fail "an argument ran a command"
# The helper's environment is its own: a caller's PATH, apt configuration and libraries are not
# used even when root itself starts it with them. A staging folder a killed run left is removed.
mkdir -p "$work/evil" /var/lib/quorvane/staging-killed
head -c 1048576 /dev/zero > /var/lib/quorvane/staging-killed/update.deb
for tool in apt-get dpkg dpkg-deb dpkg-query; do
  printf '#!/bin/sh\ntouch %s/evil-ran\n' "$work" > "$work/evil/$tool"
  chmod 755 "$work/evil/$tool"
done
echo "DPkg::Pre-Invoke { \"touch $work/evil-hook\"; };" > "$work/evil/apt.conf"
env PATH="$work/evil:/usr/bin:/bin" APT_CONFIG="$work/evil/apt.conf" LD_LIBRARY_PATH="$work/evil" \
  "$helper" "$good" >"$work/helper.log" 2>&1 || { cat "$work/helper.log"; fail "the helper refused a good package"; }
version_is 1.0.0.4 || fail "the helper did not install the good package"
[ ! -e "$work/evil-ran" ] && [ ! -e "$work/evil-hook" ] || fail "the helper used the caller's environment"
no_staging_left || fail "staging folders were left: $(ls -R /var/lib/quorvane)"
# The same version again is no update.
expect_helper 5 "is not above the installed 1.0.0.4" "$(stage same "$good" "$good.minisig")"
say "every attack was refused: planted ready file, linked download, extra arguments, a package behind root's" \
  "group, unsigned, tampered, stranger-signed, renamed, relabelled, older, same-version and sparse packages," \
  "a hostile environment; a killed run's staging folder is gone"

# 6. The caller's process state does not reach the helper or dpkg: a file size limit that would
#    kill dpkg mid-unpack, a raised OOM score, a low priority, and the terminal's signals while it
#    runs (Ctrl-\, Ctrl-C, Ctrl-Z) all leave a whole install. A hard limit that even root may not
#    raise (a container without the resource capability) is refused before anything changes.
# helper_in_terminal LIMIT VERSION: the helper started by the user from a terminal, with the limit
# set by ulimit (-S: the soft limit only, -f: soft and hard); prints the helper's status, and what /proc showed of it while it ran.
helper_in_terminal() {
  local package="$work/service/packages/quorvane_$2_amd64.deb" staged pid=""
  sign "$package" "$2"
  staged="$(stage "limits-$2" "$package" "$package.minisig")"
  tmux -L quorvane-helper-test new-session -d -x 200 -y 20 \
    "setpriv --reuid=$user --regid=$user --init-groups -- env -i HOME=$home PATH=/usr/bin:/bin TERM=xterm bash --norc --noprofile"
  tmux -L quorvane-helper-test send-keys \
    "ulimit $1 1024; echo 500 > /proc/self/oom_score_adj; nice -n 15 pkexec $helper $staged; echo helper-status=\$?" Enter
  for _ in $(seq 200); do pid="$(pgrep -n -f "^$helper " || true)"; [ -n "$pid" ] && break; sleep 0.05; done
  sleep 0.2
  local seen="not seen running"
  [ -z "$pid" ] || seen="OOM score $(cat "/proc/$pid/oom_score_adj" 2>/dev/null), niceness $(awk '{ print $19 }' \
    "/proc/$pid/stat" 2>/dev/null), $(grep -E '^Max file size' "/proc/$pid/limits" 2>/dev/null | tr -s ' ')"
  for key in 'C-\' C-c C-z; do tmux -L quorvane-helper-test send-keys "$key"; sleep 0.2; done
  local during="ended before the keys"
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && during="ran while the keys were sent"
  await 120 bash -c "tmux -L quorvane-helper-test capture-pane -p | grep -q 'helper-status=[0-9]'" ||
    { tmux -L quorvane-helper-test capture-pane -p; fail "the helper did not end"; }
  tmux -L quorvane-helper-test capture-pane -p -J > "$work/terminal"
  tmux -L quorvane-helper-test kill-server
  echo "$(grep -o 'helper-status=[0-9][0-9]*' "$work/terminal" | cut -d= -f2) ($seen; $during)"
}
dpkg_whole() { dpkg-query -W -f='${Status}' quorvane | grep -qx 'install ok installed'; }
result="$(helper_in_terminal -S 1.0.0.5)"
[[ "$result" == 0\ * ]] || { cat "$work/terminal"; fail "the caller's limits or terminal broke the install: $result"; }
version_is 1.0.0.5 && dpkg_whole || fail "the install under the caller's limits left $(dpkg-query -W -f='${Version} ${Status}' quorvane)"
[[ "$result" == *"OOM score 0, niceness 0, Max file size unlimited"*"; ran while the keys were sent)" ]] ||
  fail "the helper kept the caller's process state, or was not seen while the keys were sent: $result"
no_staging_left || fail "staging folders were left: $(ls -R /var/lib/quorvane)"
say "a soft file size limit, OOM score 500, nice 15 and Ctrl-\\, Ctrl-C, Ctrl-Z left a whole install; the helper ran with ${result#* }"
result="$(helper_in_terminal -f 1.0.0.6)"
if grep -q '^CapBnd:.*' /proc/self/status && (( (16#$(awk '/^CapBnd/ { print $2 }' /proc/self/status) >> 24) & 1 )); then
  [[ "$result" == 0\ * ]] && version_is 1.0.0.6 && dpkg_whole || { cat "$work/terminal"; fail "a hard file size limit broke the install: $result"; }
  say "a hard file size limit was lifted and left a whole install"
else
  [[ "$result" == 2\ * ]] && grep -q "cannot be lifted here and could cut the install short: file size 1048576" "$work/terminal" ||
    { cat "$work/terminal"; fail "a hard limit root may not raise was not refused: $result"; }
  version_is 1.0.0.5 && dpkg_whole || fail "a refused hard limit left $(dpkg-query -W -f='${Version} ${Status}' quorvane)"
  say "a hard file size limit that root may not raise here is refused before anything changes"
fi

# 7. A package whose programs carry another version than it says: dpkg installs it, but what got
#    installed is not what was offered. The user is told, it is logged, and the offer stays.
offer Kestrane 1.0.0.7
as_user "$work/update_driver" /opt/Quorvane/Kestrane/Kestrane accept >"$work/driver.log" 2>&1 || fail "no hand-off"
answer_warning "another version installed"
await 60 updater_ended || fail "the updater did not end after the mislabelled package"
logged "reported success, but version 1.0.0.6 is installed where 1.0.0.7 was offered" ||
  { cat "$work/events.log"; fail "the mislabelled package was not told as a failure"; }
[ -f "$(ready_file Kestrane)" ] || fail "the update whose install left another version is no longer offered"
await 10 center_running || fail "the center did not come back after the mislabelled package"
stop_center
say "an install that leaves another version than offered is told, logged and stays offered"
