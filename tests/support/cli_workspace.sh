# Sourced by the command-line companion's test scripts: an install tree with kestrane-cli and the
# flashing scripts in its program folder and the maker's key beside the updater, the stand-in
# service on the shipped catalogue signing what it serves with that key, and the environment that
# points the companion at both and keeps its files in $work.
# Needs: $work, $source_root, the pids array; sets $cli and $signing_key (the secret key).
# Usage: cli_workspace KESTRANE_CLI LOCAL_SERVICE
cli_workspace() {
  local program="$work/root/Quorvane/Kestrane"
  mkdir -p "$program" "$work/root/Quorvane/Updater" "$work/keys" "$work/data" "$work/run"
  chmod 700 "$work/run"
  cp "$1" "$source_root"/packaging/firmware/*.sh "$program/"
  cli="$program/kestrane-cli"
  signing_key="$work/keys/maker.key"
  minisign -G -W -p "$work/root/Quorvane/Updater/quorvane-update.pub" -s "$signing_key" >/dev/null
  cp -r "$source_root/packaging/local-service" "$work/service"
  "$2" --data "$work/service" --sign-with "$signing_key" >"$work/service.port" 2>"$work/service.log" &
  pids+=("$!")
  for _ in $(seq 200); do [ -s "$work/service.port" ] && break; sleep 0.05; done
  export QUORVANE_SERVICE_ENDPOINT="http://127.0.0.1:$(head -n 1 "$work/service.port")/Services/DefaultService.svc"
  export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" TMPDIR="$work"
}
