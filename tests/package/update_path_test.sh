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

# Newer packages of the product: the installed one rebuilt with another version (and, for the
# failing install, a preinst script that refuses).
cp -r "$source_root/packaging/local-service" "$work/service"
mkdir -p "$work/service/packages"
repack() {
  local version=$1 tree="$work/tree-$1"
  dpkg-deb -R "$deb" "$tree"
  sed -i "s/^Version: .*/Version: $version/" "$tree/DEBIAN/control"
  install -m 644 "$work/keys/test.pub" "$tree/opt/Quorvane/Updater/quorvane-update.pub"
  if [ "${2:-}" = refusing ]; then
    printf '#!/bin/sh\necho "preinst: this package refuses to install" >&2\nexit 1\n' > "$tree/DEBIAN/preinst"
    chmod 755 "$tree/DEBIAN/preinst"
  fi
  (cd "$tree" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | xargs -0 md5sum) > "$tree/DEBIAN/md5sums"
  dpkg-deb --root-owner-group -b "$tree" "$work/service/packages/quorvane_${version}_amd64.deb" >/dev/null
  rm -rf "$tree"
}
for version in 1.0.0.1 1.0.0.2 1.0.0.4; do repack "$version"; done
repack 1.0.0.3 refusing

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
  { cat "$work/events.log"; fail "the update was not installed and the center not restarted (installed $(installed_version))"; }
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
stage_as_user() {  # SOURCE NAME: a copy the user owns
  install -o "$user" -g "$user" -m 644 "$1" "$attack/$2"
}
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
minisign -S -s "$work/keys/test.key" -m "$work/service/packages/quorvane_1.0.0.4_amd64.deb" >/dev/null
good="$work/service/packages/quorvane_1.0.0.4_amd64.deb"

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
# A download that is a link to a root-only file; extra arguments; another program.
cp "$good.minisig" "$work/link.minisig"
as_user ln -s /etc/shadow "$attack/quorvane_9_amd64.deb"
stage_as_user "$work/link.minisig" quorvane_9_amd64.deb.minisig
expect_helper 3 "is a link" "$attack/quorvane_9_amd64.deb"
stage_as_user "$good" good.deb
stage_as_user "$good.minisig" good.deb.minisig
expect_helper 2 "usage" "$attack/good.deb" --force-all
expect_helper 2 "usage" /bin/sh -c "id > $work/marks/ran"
# Unsigned, changed after signing, signed by a stranger, and an older signed package.
stage_as_user "$good" unsigned.deb
expect_helper 4 "signature" "$attack/unsigned.deb"
stage_as_user "$good" tampered.deb
stage_as_user "$good.minisig" tampered.deb.minisig
as_user sh -c "printf x >> '$attack/tampered.deb'"
expect_helper 4 "does not match" "$attack/tampered.deb"
cp "$good" "$work/stranger.deb"
minisign -S -s "$work/keys/stranger.key" -m "$work/stranger.deb" >/dev/null
stage_as_user "$work/stranger.deb" stranger.deb
stage_as_user "$work/stranger.deb.minisig" stranger.deb.minisig
expect_helper 4 "another key" "$attack/stranger.deb"
old="$work/service/packages/quorvane_1.0.0.1_amd64.deb"
minisign -S -s "$work/keys/test.key" -m "$old" >/dev/null
stage_as_user "$old" old.deb
stage_as_user "$old.minisig" old.deb.minisig
expect_helper 5 "older than the installed" "$attack/old.deb"
# A package the user may not reach, in a folder only root's group may enter: the helper opens it
# with the user's rights alone, never with root's groups.
install -d -m 710 -o root -g root "$work/group-only"
install -m 644 -o "$user" -g "$user" "$good" "$work/group-only/good.deb"
install -m 644 -o "$user" -g "$user" "$good.minisig" "$work/group-only/good.deb.minisig"
expect_helper 3 "Permission denied" "$work/group-only/good.deb"
version_is 1.0.0.2 || fail "an attack changed the installed package to $(installed_version)"
[ ! -e "$work/marks/ran" ] || fail "an argument ran a command"
# The helper's environment is its own: a caller's PATH, apt configuration and libraries are not
# used even when root itself starts it with them.
mkdir -p "$work/evil"
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
say "every attack was refused: planted ready file, linked download, extra arguments, a package behind root's" \
  "group, unsigned, tampered, stranger-signed and older packages, a hostile environment"
