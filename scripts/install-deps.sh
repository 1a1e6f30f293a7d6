#!/usr/bin/env bash
# Installs every Debian package the Quorvane tool set needs to build, test and run.
# Idempotent: packages already present are left alone. Runs as root or through sudo.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev clang-format clang-tidy
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev libxml2-utils
  # an independent SOAP client that checks the published WSDL against the stand-in service
  python3 python3-zeep
  # libraries
  libhidapi-dev libudev-dev libcurl4-openssl-dev libpugixml-dev libcpp-httplib-dev libsodium-dev
  qt6-base-dev qt6-base-dev-tools qt6-svg-dev qt6-wayland fonts-dejavu-core
  # the command-line companion: its command line and its JSON
  libcli11-dev nlohmann-json3-dev
  # flashing tools called by the scripts, and what the tests drive them with
  avrdude bossa-cli
  # the Qt offscreen platform and X test server for view tests; screenshots of the demo; a real
  # terminal for the command-line companion's test
  xvfb xauth imagemagick xdotool tmux
  # a window manager on the virtual display, so that the screenshots' keyboard walk returns to
  # the window a dialog came from, as on a desktop
  openbox
  # a private session bus with a stand-in tray, for the tray icon test
  dbus-daemon python3-dbus python3-gi
  # the desktop's accessibility bus and a screen reader's view of it, for the accessibility
  # test; a Wayland compositor without a screen, for the window under Wayland
  at-spi2-core python3-pyatspi weston
  # the desktop's settings portal with its GTK back end, whose dark preference the center follows
  xdg-desktop-portal xdg-desktop-portal-gtk libglib2.0-bin gsettings-desktop-schemas
  # the Debian package: its checker, and the validators of what it installs for the desktop
  lintian desktop-file-utils appstream
  # signed updates: the publisher's signing tool; the root update path tested with the real
  # pkexec and polkitd on a system bus
  minisign pkexec polkitd dbus-daemon
  # a TLS server with a certificate nobody trusts, for the tests of certificate failures
  openssl
  # the USB lab: a virtual machine on Debian's kernel (uhid, dummy_hcd, USB gadgets) under
  # software emulation, with busybox for its first stage and udevd in it
  qemu-system-x86 linux-image-amd64 busybox-static cpio udev
  # an ACL on a controller node in the lab, as logind grants the user at the seat
  acl
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages are installed"
  exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  as_root=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
