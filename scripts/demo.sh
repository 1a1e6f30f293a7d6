#!/usr/bin/env bash
# Runs the center on its built-in demo: simulated controllers (a quad pedal set with paddles and
# a single brake) and the local stand-in service with sample firmware and messages.
#
# Usage: scripts/demo.sh [--fresh] [--headless] [extra Kestrane arguments]
#   --fresh     keep nothing: settings, messages and feedback live in a throw-away folder
#   --headless  run without a window (until Ctrl-C)
#
# Builds if needed, installs into build/demo-root, starts the stand-in on a copy of
# packaging/local-service/ and the center against it, and stops the stand-in when the center
# quits. Runs as a normal user: the simulated bootloader's serial ports are made in the
# runtime folder, so the demo can flash firmware too. The stand-in signs the updates it offers
# with a throw-away key made for the demo, which the demo's installed updater trusts.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
build="${QUORVANE_DEMO_BUILD:-build}"
case "$build" in
  /*) prefix="$build/demo-root" ;;
  *) prefix="$root/$build/demo-root" ;;
esac

fresh=0
arguments=()
for argument in "$@"; do
  case "$argument" in
    --fresh) fresh=1 ;;
    *) arguments+=("$argument") ;;
  esac
done

if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target Kestrane Tollwick quorvane-local-service >/dev/null
cmake --install "$build" --prefix "$prefix" >/dev/null
# The demo's own signing key, made once; never the maker's.
keys="$prefix/demo-signing"
if [ ! -f "$keys/demo.key" ]; then
  mkdir -p "$keys"
  minisign -G -W -p "$keys/demo.pub" -s "$keys/demo.key" >/dev/null
fi
cp "$keys/demo.pub" "$prefix/Quorvane/Updater/quorvane-update.pub"

work="$(mktemp -d "${TMPDIR:-/tmp}/quorvane-demo.XXXXXX")"
service_pid=""
cleanup() {
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cp -r packaging/local-service "$work/service-data"
# QUORVANE_DEMO_SERVICE_ARGS: more arguments for the stand-in (--behave ..., for a slow service).
# shellcheck disable=SC2086
"$build/tools/local-service/quorvane-local-service" --data "$work/service-data" --sign-with "$keys/demo.key" \
  ${QUORVANE_DEMO_SERVICE_ARGS:-} \
  >"$work/service.port" 2>"$work/service.log" &
service_pid=$!
for _ in $(seq 100); do
  [ -s "$work/service.port" ] && break
  kill -0 "$service_pid" 2>/dev/null || { cat "$work/service.log" >&2; exit 1; }
  sleep 0.05
done
port="$(head -n 1 "$work/service.port")"
endpoint="http://127.0.0.1:$port/Services/DefaultService.svc"
echo "demo: stand-in service on $endpoint"
# The demo's updater asks the stand-in too.
sed -i --follow-symlinks "s|<server url=\"[^\"]*\"|<server url=\"$endpoint\"|" "$prefix/Quorvane/Updater/Tollwick.xml"

export QUORVANE_SIMULATED_DEVICES="$prefix/Quorvane/Kestrane/simulated/demo.xml"
export QUORVANE_SERVICE_ENDPOINT="$endpoint"
if [ "$fresh" -eq 1 ]; then
  mkdir -p "$work/data" "$work/run"
  chmod 700 "$work/run"
  # A Wayland display named relative to the session's runtime folder stays reachable.
  if [ -n "${WAYLAND_DISPLAY:-}" ] && [ "${WAYLAND_DISPLAY#/}" = "$WAYLAND_DISPLAY" ] &&
     [ -n "${XDG_RUNTIME_DIR:-}" ]; then
    export WAYLAND_DISPLAY="$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"
  fi
  export XDG_DATA_HOME="$work/data"
  export XDG_RUNTIME_DIR="$work/run"
  echo "demo: a fresh data folder in $work/data"
fi

echo "demo: starting $prefix/Quorvane/Kestrane/Kestrane"
# In the background, so that a stop signal to this script reaches the center at once.
"$prefix/Quorvane/Kestrane/Kestrane" "${arguments[@]}" &
center_pid=$!
trap 'kill -TERM "$center_pid" 2>/dev/null || true' INT TERM
status=0
while kill -0 "$center_pid" 2>/dev/null; do
  wait "$center_pid" && status=0 || status=$?
done
exit "$status"
