# Sourced by the command-line companion's test scripts: a program folder with kestrane-cli and
# the flashing scripts beside it, the stand-in service on the shipped catalogue, and the
# environment that points the companion at both and keeps its files in $work.
# Needs: $work, $source_root, the pids array; sets $cli.
# Usage: cli_workspace KESTRANE_CLI LOCAL_SERVICE
cli_workspace() {
  mkdir -p "$work/program" "$work/data" "$work/run"
  chmod 700 "$work/run"
  cp "$1" "$source_root"/packaging/firmware/*.sh "$work/program/"
  cli="$work/program/kestrane-cli"
  cp -r "$source_root/packaging/local-service" "$work/service"
  "$2" --data "$work/service" >"$work/service.port" 2>"$work/service.log" &
  pids+=("$!")
  for _ in $(seq 200); do [ -s "$work/service.port" ] && break; sleep 0.05; done
  export QUORVANE_SERVICE_ENDPOINT="http://127.0.0.1:$(head -n 1 "$work/service.port")/Services/DefaultService.svc"
  export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run" TMPDIR="$work"
}
