#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian where lintian is installed, unpacks it into
# a temporary root (nothing is installed into the system) and checks its files, its desktop
# entry, its systemd units, and that the unpacked program starts under Xvfb, from the desktop
# launcher, in the user's own data directory, and shows its main window at once.
# usage: package_test.sh BUILD_DIR
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >/dev/null
deb="$(ls "$work"/out/*.deb)"
dpkg-deb -x "$deb" "$work/root"
if command -v lintian >/dev/null; then
  # Errors and warnings fail the test; information tags do not.
  if lintian "$deb" 2>/dev/null | grep -E '^[EW]:'; then
    echo "lintian found errors or warnings"
    exit 1
  fi
fi
for file in usr/bin/NorvelWin usr/bin/norvel usr/bin/station-emulator usr/bin/norvelwin-desktop \
  usr/share/norvelwin/Norvel.hlp usr/share/applications/norvelwin.desktop \
  usr/share/icons/hicolor/scalable/apps/norvelwin.svg usr/share/man/man1/norvel.1.gz \
  usr/share/man/man1/NorvelWin.1.gz usr/share/man/man1/station-emulator.1.gz \
  usr/share/man/man1/norvelwin-desktop.1.gz usr/share/doc/norvelwin/copyright \
  usr/share/doc/norvelwin/changelog.gz usr/share/bash-completion/completions/norvel \
  usr/lib/systemd/system/norvel-receive@.service usr/lib/systemd/system/norvel-receive@.timer; do
  [ -e "$work/root/$file" ] || { echo "missing in the package: $file"; exit 1; }
done
# The binaries are stripped.
if file "$work/root/usr/bin/norvel" | grep -q "not stripped"; then
  echo "norvel is not stripped"
  exit 1
fi
# The units as systemd reads them, with the command where this package put it.
if command -v systemd-analyze >/dev/null; then
  units="$work/units"
  mkdir -p "$units"
  for kind in service timer; do
    sed "s|/usr/bin/norvel|$work/root/usr/bin/norvel|" \
      "$work/root/usr/lib/systemd/system/norvel-receive@.$kind" >"$units/norvel-receive@office.$kind"
  done
  if systemd-analyze verify --man=no "$units/norvel-receive@office.service" \
    "$units/norvel-receive@office.timer" 2>&1 | grep .; then
    echo "systemd-analyze found fault with the units"
    exit 1
  fi
fi
# The completion, with Debian's bash-completion loaded, offers what bash would: each call made
# as bash makes it, with the line and the cursor, the words and the current one. The commands
# come from the unpacked norvel's own help.
PATH="$work/root/usr/bin:$PATH" bash -c '
  source /usr/share/bash-completion/bash_completion
  source "$0"
  offers() {
    COMP_LINE="$1"
    COMP_POINT=${#COMP_LINE}
    read -ra COMP_WORDS <<<"$COMP_LINE"
    [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _norvel norvel "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    echo "${COMPREPLY[*]}"
  }
  [ "$(offers "norvel ex")" = export ] || { echo "commands: $(offers "norvel ex")"; exit 1; }
  [ "$(offers "norvel export --format ")" = "csv tsv xlsx" ] || exit 1
  [ "$(offers "norvel config wr")" = write ] || exit 1' \
  "$work/root/usr/share/bash-completion/completions/norvel" || { echo "no completion"; exit 1; }
# The dependencies are the Qt libraries the program links, found by the package tools.
dpkg-deb -f "$deb" Depends | grep -q "libqt6widgets6" || { echo "no Qt dependency"; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q "libqt6sql6-sqlite" || { echo "no SQLite driver dependency"; exit 1; }
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/root/usr/share/applications/norvelwin.desktop"
fi
grep -q "^Exec=norvelwin-desktop$" "$work/root/usr/share/applications/norvelwin.desktop"
"$work/root/usr/bin/norvel" --help | grep -q "exit codes"

export PATH="$work/root/usr/bin:$PATH"
export XDG_DATA_HOME="$work/data"
export NORVEL_COM2="$work/no-station"
# First start: the launcher makes the data directory with its first settings and starts the
# program there, which comes up with its main menu: the box for missing settings would come
# first and hold the main window back until answered.
data="$XDG_DATA_HOME/NorvelWin"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  norvelwin-desktop & app=$!
  shown=
  for i in $(seq 100); do
    if xwininfo -root -tree | grep -q "Norvel MainForm"; then shown=1; break; fi
    sleep 0.1
  done
  kill $app
  [ -n "$shown" ]' || { echo "the main window did not show"; exit 1; }
grep -q "^2 ; " "$data/NorvelWin.ini" || { echo "the launcher wrote no first settings"; exit 1; }
echo "package test passed"
