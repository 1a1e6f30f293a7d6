#!/bin/sh
# Installs a new updater that Tollwick downloaded into an updater folder the user can write (a
# per-user install); the center runs it as the user, after the download's signature verified,
# because the updater never replaces itself. A system-wide install is updated by its package
# manager through quorvane-install-update instead:
#
#   uupdater.sh DOWNLOAD_FOLDER FILE [ARGUMENT]...
#
# FILE is the verified download, a name in DOWNLOAD_FOLDER. A file called "Tollwick" without
# arguments replaces the updater beside this script; any other file is the package's installer
# and runs in DOWNLOAD_FOLDER with its arguments and TOLLWICK_FOLDER set to this script's folder,
# so that it knows where to install.
set -eu

if [ $# -lt 2 ]; then
  echo "usage: uupdater.sh DOWNLOAD_FOLDER FILE [ARGUMENT]..." >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
download=$1
file=$2
shift 2
cd "$download"
# Only the verified download itself, never a path elsewhere or what a link points to.
case "$file" in
  */* | "" | . | ..)
    echo "uupdater: refusing '$file': not a file of the download folder" >&2
    exit 2
    ;;
esac
if [ -L "$file" ] || [ ! -f "$file" ]; then
  echo "uupdater: refusing $download/$file: not a regular file" >&2
  exit 1
fi

if [ "$file" = "Tollwick" ] && [ $# -eq 0 ]; then
  # Copied next to the old one first, then renamed over it: a failure never leaves a
  # half-written updater.
  cp "$file" "$here/.Tollwick.new"
  chmod 755 "$here/.Tollwick.new"
  mv -f "$here/.Tollwick.new" "$here/Tollwick"
  echo "uupdater: installed $download/$file as $here/Tollwick"
  exit 0
fi

TOLLWICK_FOLDER=$here
export TOLLWICK_FOLDER
exec "./$file" "$@"
