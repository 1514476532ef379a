#!/usr/bin/env bash
# The folders are the libraries, and nothing points upward: the core (src/core) includes
# nothing of the windows (src/ui) or of the command (src/cli), and the windows nothing of the
# command. Prints every offending line and fails when there is one.
# usage: check_includes.sh SOURCE_DIR
set -euo pipefail
src="$1/src"
status=0
check() {
  local folder="$1" forbidden="$2"
  local found
  found="$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]($forbidden)/" "$src/$folder" || true)"
  if [ -n "$found" ]; then
    echo "src/$folder must not include $forbidden:"
    echo "$found"
    status=1
  fi
}
check core "ui|cli"
check ui "cli"
[ "$status" -eq 0 ] && echo "the libraries include only downward"
exit "$status"
