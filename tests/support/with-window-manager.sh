#!/usr/bin/env bash
# Runs a command on a virtual display of its own with a window manager, as a desktop has one:
# windows are reparented into frames and mapped by the manager, which is what a window shown
# in the middle of a blocking transfer has to survive. usage: with-window-manager.sh COMMAND...
set -euo pipefail
if [ -z "${NORVEL_WM_INNER:-}" ]; then
  export NORVEL_WM_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$@"
fi
config="$(mktemp -d)"
trap 'kill "$wm" 2>/dev/null || true; rm -rf "$config"' EXIT
# No frame decorations: nothing on the screen but the program's own windows.
cat >"$config/rc.xml" <<'XML'
<?xml version="1.0"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <applications><application class="*"><decor>no</decor></application></applications>
</openbox_config>
XML
openbox --config-file "$config/rc.xml" >/dev/null 2>&1 &
wm=$!
# The manager is ready once it has announced itself on the root window.
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.05
done
unset NORVEL_WM_INNER
export QT_QPA_PLATFORM=xcb
"$@"
