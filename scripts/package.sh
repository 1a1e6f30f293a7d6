#!/usr/bin/env bash
# Builds the Debian package quorvane_<version>_amd64.deb: the programs under /opt/Quorvane, the
# udev rules in /usr/lib/udev/rules.d, the USB HID driver's options for the controllers in
# /lib/modprobe.d, the desktop entry, icon and metainfo in /usr/share, the
# configuration files in /etc/quorvane, and the install helper's polkit action. Prints the
# package's path.
# Usage: scripts/package.sh [build folder, default build-package]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-package}"
# Built hardened, as Debian builds its packages.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/opt \
  -DCMAKE_CXX_FLAGS="-D_FORTIFY_SOURCE=2 -fstack-protector-strong" -DCMAKE_C_FLAGS="-D_FORTIFY_SOURCE=2" \
  -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro,-z,now" \
  -DQUORVANE_UDEV_RULES_DIR=/usr/lib/udev/rules.d -DQUORVANE_MODPROBE_DIR=/lib/modprobe.d -DQUORVANE_XDG_DATA_DIR=/usr/share \
  -DQUORVANE_POLKIT_ACTIONS_DIR=/usr/share/polkit-1/actions -DQUORVANE_SYSTEM_CONFIG_DIR=/etc/quorvane \
  -DQUORVANE_BIN_LINK_DIR=/usr/bin -DQUORVANE_DEBIAN_DOCS=ON -DQUORVANE_TESTS=OFF -DQUORVANE_BENCH=OFF >/dev/null
cmake --build "$build" --target Kestrane Tollwick quorvane-install-update kestrane-cli kestrane_cli_manual
# Only this build's package in the folder, so the path printed is the one just made.
rm -f "$build"/quorvane_*_amd64.deb
(cd "$build" && cpack -G DEB >/dev/null)
realpath "$build"/quorvane_*_amd64.deb
