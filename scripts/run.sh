#!/usr/bin/env bash
# Builds NorvelWin and starts it in a working directory of its own (./run), joined on COM2 to
# the station emulator, which stands in for the station. Without a display it runs under Xvfb.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

WORK="$ROOT/run"
mkdir -p "$WORK"
cd "$WORK"

LINK="$WORK/ttyNorvelStation"
"$BUILD/bin/station-emulator" --link "$LINK" --trace "$WORK/station-trace.txt" \
  --calls 120 --call-days 5 --realtime >"$WORK/station.out" 2>&1 &
EMULATOR=$!
trap 'kill $EMULATOR 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -L "$LINK" ] && break; sleep 0.1; done

export NORVEL_COM2="$LINK"
echo "NorvelWin in $WORK, station emulator on $LINK (COM2)"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  "$BUILD/bin/NorvelWin"
else
  echo "No display: running under Xvfb"
  xvfb-run -a -s "-screen 0 1280x1024x24" "$BUILD/bin/NorvelWin"
fi
