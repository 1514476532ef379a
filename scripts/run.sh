#!/usr/bin/env bash
# Builds NorvelWin and starts it the way the desktop menu does, in a working directory of its
# own (./run/NorvelWin, with first settings: port COM2, two boards), joined on COM2 to the
# station emulator, which stands in for the station. Without a display it runs on a virtual
# one and says how to look at it.
set -euo pipefail
# Only what it starts: the program, its help and the emulator; test.sh builds the rest.
NORVEL_TARGETS="NorvelWin norvel_help station-emulator"
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

export XDG_DATA_HOME="$ROOT/run"
WORK="$XDG_DATA_HOME/NorvelWin"
mkdir -p "$WORK"
# Qt wants a private runtime directory; a bare root shell or container has none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$ROOT/run/runtime"
  mkdir -p -m 0700 "$XDG_RUNTIME_DIR"
fi
export PATH="$BUILD/bin:$PATH"

LINK="$WORK/ttyNorvelStation"
station-emulator --link "$LINK" --trace "$WORK/station-trace.txt" \
  --calls 120 --call-days 5 --realtime >"$WORK/station.out" 2>&1 &
EMULATOR=$!
XVFB=""
trap 'kill $EMULATOR $XVFB 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -L "$LINK" ] && break; sleep 0.1; done

export NORVEL_COM2="$LINK"
echo "NorvelWin in $WORK, station emulator on $LINK (COM2)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  number=99
  while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
  Xvfb ":$number" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB=$!
  export DISPLAY=":$number"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  ( sleep 3 && xwd -root -silent -out "$WORK/screen.xwd" 2>/dev/null ) &
  cat <<EOT
No display here: NorvelWin runs on the virtual display $DISPLAY.
  A picture of it is written in 3 seconds to $WORK/screen.xwd
  (convert it with: convert $WORK/screen.xwd screen.png).
  Another picture at any time: DISPLAY=$DISPLAY xwd -root -out screen.xwd
  To work in it: x11vnc -display $DISPLAY, then a VNC viewer on localhost:5900.
  Ctrl+C ends the program and the emulator.
EOT
fi
"$ROOT/packaging/norvelwin-desktop"
