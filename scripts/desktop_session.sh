# Sourced by the scripts that run the center on a virtual display: a work folder with the
# background processes it started, both gone when the script ends, and the wait for the center's
# window.

work="$(mktemp -d)"
pids=()
end_session() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap end_session EXIT

# Starts a virtual X display of this size (WIDTHxHEIGHT) for the script and exports DISPLAY. The
# server picks a free display number itself, so tests that start side by side never take the
# same one (xvfb-run -a can, and then one of them cannot connect).
start_virtual_display() {
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  pids+=($!)
  for _ in $(seq 200); do
    [ -s "$work/display" ] && break
    sleep 0.05
  done
  [ -s "$work/display" ] || { echo "the virtual display did not start" >&2; cat "$work/xvfb.log" >&2; return 1; }
  export DISPLAY=":$(head -n 1 "$work/display")"
  # Services the session bus starts on demand (the settings portal) draw on this display too.
  if [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
    dbus-update-activation-environment DISPLAY
  fi
}

# Prints the X window of the center's main window once it shows (at most 15 s); fails without.
await_center_window() {
  local window=""
  for _ in $(seq 150); do
    window="$(xdotool search --onlyvisible --name '^Kestrane \|' 2>/dev/null | head -n 1 || true)"
    [ -n "$window" ] && echo "$window" && return 0
    sleep 0.1
  done
  echo "no window of the center showed within 15 s" >&2
  return 1
}
