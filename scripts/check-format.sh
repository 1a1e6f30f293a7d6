#!/usr/bin/env bash
# Fails when a C++ file of the project is not laid out as .clang-format says; prints the places.
# Usage: scripts/check-format.sh   (clang-format -i on the files named mends them)
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z 'common/*' 'center/*' 'updater/*' 'tools/*' 'bench/*' 'fuzz/*' 'tests/*' |
  grep -z -E '\.(cpp|h)$' | xargs -0 clang-format --dry-run -Werror
