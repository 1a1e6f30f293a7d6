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
