#!/usr/bin/env bash
# The folders are the libraries, and each includes only what its library links: the core
# (src/core) nothing above it, the report (src/report) the core, the windows (src/ui) the core
# and the report, the command (src/cli) the core and the report, the web view (src/web) the
# core alone. Inside the core, the editor
# and the tables stand side by side on the image layout and include each other in neither
# direction. Prints every offending line and fails when there is one.
# usage: check_includes.sh SOURCE_DIR
set -euo pipefail
src="$1/src"

# folder | the folders of src it may not include
rules=(
  "core|report ui cli web"
  "report|ui cli web"
  "ui|cli web"
  "cli|ui web"
  "web|report ui cli"
  "core/editor|core/tables"
  "core/tables|core/editor"
  "core/image|core/editor core/tables core/station core/sync core/costs core/tariff"
)

status=0
for rule in "${rules[@]}"; do
  folder="${rule%%|*}"
  for forbidden in ${rule#*|}; do
    found="$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]$forbidden/" \
      "$src/$folder" || true)"
    if [ -n "$found" ]; then
      echo "src/$folder must not include $forbidden:"
      echo "$found"
      status=1
    fi
  done
done
[ "$status" -eq 0 ] && echo "every library includes only what it links"
exit "$status"
