#!/usr/bin/env bash
# The folders are the libraries, and each includes only what its library links: the core
# (src/core) nothing above it, the report (src/report) the core, the windows (src/ui) the core
# and the report, the command (src/cli) the core and the report, the web view (src/web) the
# core alone. Inside the core the folders stand in layers, from the base up:
#   base -> platform -> link -> image -> files -> tables, tariff -> station -> editor
#        -> costs -> sync
# and each folder names below the folders it may include; the editor and the tables include
# each other in neither direction. Includes are written from src/, never relative ("../"), so
# that a relative path cannot step past a rule. Prints every offending line and fails when
# there is one.
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
)

# core folder | the core folders it may include (besides itself)
core_layers=(
  "base|"
  "platform|base"
  "link|base platform"
  "image|base"
  "files|base platform image"
  "tables|base platform image files"
  "tariff|base platform image files"
  "station|base platform link image files tables"
  "editor|base platform link image files station"
  "costs|base platform image files tables tariff"
  "sync|base platform image files tables tariff costs"
)
core_folders=""
for layer in "${core_layers[@]}"; do core_folders+=" ${layer%%|*}"; done

status=0
offend() {
  echo "$1:"
  echo "$2"
  status=1
}

for rule in "${rules[@]}"; do
  folder="${rule%%|*}"
  for forbidden in ${rule#*|}; do
    found="$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]$forbidden/" \
      "$src/$folder" || true)"
    [ -z "$found" ] || offend "src/$folder must not include $forbidden" "$found"
  done
done

# Every folder of the core has its row: a new one cannot slip past the layers.
for dir in "$src"/core/*/; do
  name="$(basename "$dir")"
  case " $core_folders " in
    *" $name "*) ;;
    *) offend "src/core/$name has no row in the core's layers" "  (add it to core_layers)" ;;
  esac
done

for layer in "${core_layers[@]}"; do
  folder="${layer%%|*}"
  allowed=" $folder ${layer#*|} "
  for other in $core_folders; do
    case "$allowed" in *" $other "*) continue ;; esac
    found="$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[<\"]core/$other/" \
      "$src/core/$folder" || true)"
    [ -z "$found" ] || offend "src/core/$folder must not include core/$other" "$found"
  done
done

found="$(grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*\"\.\.?/" "$src" || true)"
[ -z "$found" ] || offend "includes are written from src/, never relative" "$found"

[ "$status" -eq 0 ] && echo "every library includes only what it links"
exit "$status"
