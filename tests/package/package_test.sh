#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a temporary root (nothing is installed into the
# system) and checks its files, its desktop entry, and that the unpacked program starts under
# Xvfb, from the desktop launcher, in the user's own data directory, and shows its main window.
# usage: package_test.sh BUILD_DIR
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >/dev/null
deb="$(ls "$work"/out/*.deb)"
dpkg-deb -x "$deb" "$work/root"
for file in usr/bin/NorvelWin usr/bin/norvel usr/bin/station-emulator usr/bin/norvelwin-desktop \
  usr/share/norvelwin/Norvel.hlp usr/share/applications/norvelwin.desktop \
  usr/share/icons/hicolor/scalable/apps/norvelwin.svg usr/share/man/man1/norvel.1; do
  [ -e "$work/root/$file" ] || { echo "missing in the package: $file"; exit 1; }
done
# The dependencies are the Qt libraries the program links, found by the package tools.
dpkg-deb -f "$deb" Depends | grep -q "libqt6widgets6" || { echo "no Qt dependency"; exit 1; }
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/root/usr/share/applications/norvelwin.desktop"
fi
grep -q "^Exec=norvelwin-desktop$" "$work/root/usr/share/applications/norvelwin.desktop"
"$work/root/usr/bin/norvel" --help | grep -q "exit codes"

export PATH="$work/root/usr/bin:$PATH"
export XDG_DATA_HOME="$work/data"
export NORVEL_COM2="$work/no-station"
# First start: the launcher makes the data directory and starts the program there.
data="$XDG_DATA_HOME/NorvelWin"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  norvelwin-desktop & app=$!
  for i in $(seq 50); do [ -d "$0" ] && break; sleep 0.1; done
  sleep 1; kill $app' "$data"
[ -d "$data" ] || { echo "the launcher made no data directory"; exit 1; }
# With its settings in place the program comes up with its main menu.
printf '01.12.2026 10:00:00 ; x\r\n2 ; x\r\n2 ; x\r\n' >"$data/NorvelWin.ini"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  norvelwin-desktop & app=$!
  shown=
  for i in $(seq 100); do
    if xwininfo -root -tree | grep -q "Norvel MainForm"; then shown=1; break; fi
    sleep 0.1
  done
  kill $app
  [ -n "$shown" ]' || { echo "the main window did not show"; exit 1; }
echo "package test passed"
