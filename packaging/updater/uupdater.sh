#!/bin/sh
# Installs a new updater that Tollwick downloaded into an updater folder the user can write (a
# per-user install); the center runs it as the user, after the download's signature verified,
# because the updater never replaces itself. A system-wide install is updated by its package
# manager through quorvane-install-update instead:
#
#   uupdater.sh DOWNLOAD_FOLDER INSTALL_COMMAND...
#
# INSTALL_COMMAND is the package's install command with the downloaded file's name in it.
# When it names a downloaded file called "Tollwick", that file replaces the updater beside
# this script; any other command runs in DOWNLOAD_FOLDER with TOLLWICK_FOLDER set to this
# script's folder, so a packager's installer knows where to install.
set -eu

if [ $# -lt 2 ]; then
  echo "usage: uupdater.sh DOWNLOAD_FOLDER INSTALL_COMMAND..." >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
download=$1
shift
cd "$download"

if [ $# -eq 1 ] && [ "$(basename "$1")" = "Tollwick" ] && [ -f "$1" ]; then
  # The verified download itself, never what a link in its place points to.
  if [ -L "$1" ]; then
    echo "uupdater: refusing $download/$1: it is a link" >&2
    exit 1
  fi
  # Copied next to the old one first, then renamed over it: a failure never leaves a
  # half-written updater.
  cp "$1" "$here/.Tollwick.new"
  chmod 755 "$here/.Tollwick.new"
  mv -f "$here/.Tollwick.new" "$here/Tollwick"
  echo "uupdater: installed $download/$1 as $here/Tollwick"
  exit 0
fi

TOLLWICK_FOLDER=$here
export TOLLWICK_FOLDER
case "$1" in
  */*) ;;
  *) [ -f "$1" ] && { program="./$1"; shift; set -- "$program" "$@"; } ;;
esac
exec "$@"
