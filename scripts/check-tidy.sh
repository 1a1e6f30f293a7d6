#!/usr/bin/env bash
# Runs clang-tidy with a short list of checks that find real faults (use after move, dangling
# views, infinite loops, wrong sizes, ignored results that matter, the static analyzer's core and
# C++ checks) over the product's toolkit-free sources, as the build compiles them. Fails on any
# finding. The wider .clang-tidy stays for editors.
# Usage: scripts/check-tidy.sh [build folder with compile_commands.json, default build]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
[ -f "$build/compile_commands.json" ] || {
  echo "check-tidy: no $build/compile_commands.json; build first (scripts/test.sh)" >&2
  exit 2
}
checks="-*,bugprone-use-after-move,bugprone-dangling-handle,bugprone-infinite-loop,\
bugprone-sizeof-expression,bugprone-string-constructor,bugprone-suspicious-memset-usage,\
bugprone-undefined-memory-manipulation,bugprone-unused-return-value,bugprone-fold-init-type,\
bugprone-incorrect-roundings,bugprone-misplaced-widening-cast,bugprone-signed-char-misuse,\
bugprone-suspicious-string-compare,bugprone-unhandled-self-assignment,\
bugprone-move-forwarding-reference,bugprone-copy-constructor-init,bugprone-assert-side-effect,\
bugprone-parent-virtual-call,bugprone-terminating-continue,bugprone-unused-raii,\
clang-analyzer-core.*,clang-analyzer-cplusplus.*,clang-analyzer-unix.*,\
clang-analyzer-deadcode.DeadStores"
# The product's own sources that do not include the toolkit (those are views, kept thin).
mapfile -t sources < <(python3 - "$build/compile_commands.json" <<'PY'
import json, os, sys
root = os.getcwd() + "/"
for entry in json.load(open(sys.argv[1])):
    path = entry["file"]
    relative = path[len(root):] if path.startswith(root) else path
    if relative.split("/")[0] in ("common", "center", "updater", "tools") and \
            "-DQT_" not in entry.get("command", " ".join(entry.get("arguments", []))):
        print(path)
PY
)
echo "check-tidy: ${#sources[@]} files"
if ! printf '%s\n' "${sources[@]}" |
  # The build's GCC-only flags and its -Werror (in CI) are not clang-tidy's business.
  xargs -P "$(nproc)" -n 4 clang-tidy --quiet -p "$build" --checks="$checks" \
    --extra-arg=-Wno-unknown-warning-option --extra-arg=-Wno-error \
    --header-filter='^'"$PWD"'/(common|center|updater|tools)/' --warnings-as-errors='*' \
    >"$build/clang-tidy.log" 2>&1; then
  grep -E "(warning|error):" "$build/clang-tidy.log" | sort -u >&2
  echo "check-tidy: findings above (the whole output is in $build/clang-tidy.log)" >&2
  exit 1
fi
echo "check-tidy: no findings"
