#!/usr/bin/env bash
# Installs the Debian package the way a user does and checks it: the files for udev, the desktop,
# AppStream and polkit are where the system reads them, the configuration files are the package's
# own, the installed center runs on the demo set, the update path works and resists attack
# (update_path_test.sh), and a purge leaves nothing behind. Needs root (apt-get), the stand-in
# and the update driver from a test build.
# Usage: tests/package/package_test.sh PACKAGE.deb STAND_IN_PROGRAM UPDATE_DRIVER
set -euo pipefail
deb="$(realpath "$1")"
stand_in="$(realpath "$2")"
driver="$(realpath "$3")"
here="$(cd "$(dirname "$0")" && pwd)"
source_root="$(cd "$here/../.." && pwd)"
[ "$(id -u)" -eq 0 ] || { echo "package test: needs root" >&2; exit 2; }

fail() { echo "package test: FAILED: $*" >&2; exit 1; }
work="$(mktemp -d)"
service_pid=""
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if dpkg-query -W quorvane >/dev/null 2>&1; then
  apt-get purge -y quorvane >/dev/null
fi
# First a package as the earlier releases were built: the configuration files plain files in
# /opt. An administrator changes one; the upgrade to this package carries the change to /etc.
dpkg-deb -R "$deb" "$work/earlier"
sed -i 's/^Version: .*/Version: 0.9.0.0/' "$work/earlier/DEBIAN/control"
rm -f "$work/earlier/DEBIAN/conffiles" "$work/earlier/DEBIAN/preinst"
for name in Kestrane/Kestrane.xml Updater/Tollwick.xml; do
  rm "$work/earlier/opt/Quorvane/$name"
  mv "$work/earlier/etc/quorvane/${name#*/}" "$work/earlier/opt/Quorvane/$name"
done
rm -r "$work/earlier/etc"
(cd "$work/earlier" && find . -path ./DEBIAN -prune -o -type f -printf '%P\0' | xargs -0 md5sum) > "$work/earlier/DEBIAN/md5sums"
dpkg-deb --root-owner-group -b "$work/earlier" "$work/quorvane_0.9.0.0_amd64.deb" >/dev/null
DEBIAN_FRONTEND=noninteractive apt-get install -y "$work/quorvane_0.9.0.0_amd64.deb" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install of the earlier package"; }
sed -i 's|<setting name="TimeoutMS" value="[0-9]*"/>|<setting name="TimeoutMS" value="45000"/>|' /opt/Quorvane/Updater/Tollwick.xml
DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install"; }
echo "package test: installed $(dpkg-query -W -f='${Package} ${Version}' quorvane) over 0.9.0.0"
grep -q '<setting name="TimeoutMS" value="45000"/>' /etc/quorvane/Tollwick.xml ||
  fail "the administrator's change of Tollwick.xml was lost moving it to /etc"
cmp -s /etc/quorvane/Kestrane.xml "$source_root/packaging/Kestrane.xml" || fail "an unchanged Kestrane.xml was not renewed"
sed -i 's|<setting name="TimeoutMS" value="45000"/>|<setting name="TimeoutMS" value="300000"/>|' /etc/quorvane/Tollwick.xml

# Where the system reads them, and valid for the tools that read them.
for file in /usr/lib/udev/rules.d/60-quorvane.rules /lib/modprobe.d/quorvane.conf \
            /usr/share/applications/example.quorvane.Kestrane.desktop \
            /usr/share/icons/hicolor/scalable/apps/example.quorvane.Kestrane.svg \
            /usr/share/metainfo/example.quorvane.Kestrane.metainfo.xml \
            /usr/share/polkit-1/actions/example.quorvane.updater.policy \
            /opt/Quorvane/Kestrane/Kestrane /opt/Quorvane/Updater/Tollwick \
            /opt/Quorvane/Updater/quorvane-install-update /opt/Quorvane/Updater/quorvane-update.pub \
            /usr/share/man/man1/kestrane-cli.1.gz /usr/share/bash-completion/completions/kestrane-cli; do
  [ -f "$file" ] || fail "$file is missing"
done
# The USB HID driver's quirk for the controllers is in the initramfs it loads from at boot.
initramfs="$(ls /boot/initrd.img-* 2>/dev/null | sort -V | tail -n 1)"
initramfs_has_quirk() { lsinitramfs "$initramfs" | grep 'lib/modprobe.d/quorvane.conf$' >/dev/null; }
if [ -n "$initramfs" ]; then
  initramfs_has_quirk || fail "the initramfs $initramfs lacks the controllers' USB HID quirk"
fi
# The configuration files are the package's conffiles in /etc, where the programs find them.
for name in Kestrane/Kestrane.xml Updater/Tollwick.xml; do
  [ "$(readlink "/opt/Quorvane/$name")" = "/etc/quorvane/$(basename "$name")" ] || fail "/opt/Quorvane/$name is no link to /etc"
  dpkg-query -W -f='${Conffiles}' quorvane | grep -q " /etc/quorvane/$(basename "$name") " ||
    fail "/etc/quorvane/$(basename "$name") is not a configuration file of the package"
done
desktop-file-validate /usr/share/applications/example.quorvane.Kestrane.desktop || fail "desktop entry"
grep -qx 'Exec=/opt/Quorvane/Kestrane/Kestrane' /usr/share/applications/example.quorvane.Kestrane.desktop ||
  fail "the desktop entry does not start the installed center"
appstreamcli validate --no-net /usr/share/metainfo/example.quorvane.Kestrane.metainfo.xml || fail "metainfo"
xmllint --noout /usr/share/polkit-1/actions/example.quorvane.updater.policy || fail "polkit action"
# Each elevated start asks: a kept authorisation would let any process of the user start the
# updater as root, without a prompt, for minutes after an update.
defaults="$(xmllint --xpath '//action[@id="example.quorvane.updater"]/defaults/*/text()' \
  /usr/share/polkit-1/actions/example.quorvane.updater.policy | sort -u)"
[ "$defaults" = auth_admin ] || fail "the polkit action does not ask for the password each time ($defaults)"
grep -q '<annotate key="org.freedesktop.policykit.exec.path">/opt/Quorvane/Updater/quorvane-install-update</annotate>' \
  /usr/share/polkit-1/actions/example.quorvane.updater.policy || fail "the polkit action names another program"
! grep -q 'allow_gui' /usr/share/polkit-1/actions/example.quorvane.updater.policy ||
  fail "the polkit action gives the root helper the user's display"
version="$(dpkg-query -W -f='${Version}' quorvane)"
grep -q "<release version=\"$version\"" /usr/share/metainfo/example.quorvane.Kestrane.metainfo.xml ||
  fail "the metainfo names another version than $version"

# A user's session for the programs.
mkdir -p "$work/data" "$work/run"
chmod 700 "$work/run"
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" DISPLAY="" WAYLAND_DISPLAY=""

# The installed center on the simulated demo set: still running after two seconds.
status=0
QUORVANE_SIMULATED_DEVICES=/opt/Quorvane/Kestrane/simulated/demo.xml \
  timeout 2 /opt/Quorvane/Kestrane/Kestrane --headless >"$work/center.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat "$work/center.log"; fail "the installed center ended with $status within two seconds"; }
[ -f "$work/data/Quorvane/Kestrane/Kestrane.xml" ] || fail "the center made no settings for the user"
# The command-line companion, on the PATH, finds the same controllers.
QUORVANE_SIMULATED_DEVICES=/opt/Quorvane/Kestrane/simulated/demo.xml QUORVANE_SERVICE_ENDPOINT=http://127.0.0.1:1/x \
  kestrane-cli list > "$work/cli.log" 2>&1 || { cat "$work/cli.log"; fail "kestrane-cli list"; }
grep -q '^QVA-S-1002  Quorvane Brake Controller' "$work/cli.log" || { cat "$work/cli.log"; fail "kestrane-cli listed no demo set"; }
echo "package test: the installed center and kestrane-cli ran on the demo set"

bash "$here/update_path_test.sh" "$deb" "$stand_in" "$driver"

# A purge leaves nothing of the package.
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./|/|' > "$work/contents"
DEBIAN_FRONTEND=noninteractive apt-get purge -y quorvane >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "purge"; }
! dpkg-query -W -f='${Status}' quorvane 2>/dev/null | grep -qx 'install ok installed' || fail "still installed"
left=0
while read -r path; do
  case "$path" in */) continue ;; esac  # folders such as /usr/share are shared
  if [ -e "$path" ] || [ -L "$path" ]; then echo "left behind: $path" >&2; left=1; fi
done < "$work/contents"
for folder in /opt/Quorvane /usr/share/doc/quorvane /etc/quorvane /var/lib/quorvane; do
  [ ! -e "$folder" ] || { find "$folder" >&2; left=1; }
done
[ "$left" -eq 0 ] || fail "files were left behind"
if [ -n "$initramfs" ] && initramfs_has_quirk; then fail "the initramfs keeps the controllers' USB HID quirk"; fi
echo "package test: purged, nothing left"
