#!/usr/bin/env bash
# Builds the Debian packages norvel and norvelwin, checks them with lintian where lintian is
# installed, unpacks them into a temporary root (nothing is installed into the system) and
# checks their files, the desktop entry, the systemd units, that norvel alone needs no GUI
# library, and that the unpacked program starts under Xvfb, from the desktop launcher, in the
# user's own data directory, and shows its main window at once.
# usage: package_test.sh BUILD_DIR
set -euo pipefail
build="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >/dev/null
deb="$(ls "$work"/out/norvel_*.deb)"
windows_deb="$(ls "$work"/out/norvelwin_*.deb)"
if command -v lintian >/dev/null; then
  # Errors and warnings fail the test; information tags do not.
  if lintian "$deb" "$windows_deb" 2>/dev/null | grep -E '^[EW]:'; then
    echo "lintian found errors or warnings"
    exit 1
  fi
fi

# The command-line package alone, as on a server: no GUI or X library among its dependencies or
# what its programs load, and a PDF asked for is refused with the package that draws it named.
dpkg-deb -x "$deb" "$work/server"
if dpkg-deb -f "$deb" Depends | grep -E "libqt6(gui|widgets|printsupport)|libx11|libxcb|libegl"; then
  echo "norvel depends on a GUI library"
  exit 1
fi
for program in usr/bin/norvel usr/bin/station-emulator usr/lib/norvel/norvel-web; do
  if objdump -p "$work/server/$program" | grep -E "NEEDED.*(Qt6Gui|Qt6Widgets|X11|xcb|libpq)"; then
    echo "$program loads a GUI library, or libpq at every start"
    exit 1
  fi
done
# The command leaves Qt's HTTP server to the web view's own program, which it finds installed.
if objdump -p "$work/server/usr/bin/norvel" | grep -E "NEEDED.*(HttpServer|Network)"; then
  echo "norvel loads the HTTP server at every start"
  exit 1
fi
"$work/server/usr/bin/norvel" serve --help | grep -q -- "--passwords" ||
  { echo "norvel serve does not find its web view"; exit 1; }
set +e
refusal="$(cd "$work" && "$work/server/usr/bin/norvel" report --month 12 -o r.pdf 2>&1)"
code=$?
set -e
[ "$code" = 2 ] && [[ $refusal == *"пакета norvelwin"* ]] && [ ! -e "$work/r.pdf" ] ||
  { echo "without norvelwin, a PDF: exit $code, $refusal"; exit 1; }

dpkg-deb -x "$deb" "$work/root"
dpkg-deb -x "$windows_deb" "$work/root"
# With both, the command draws through the plugin the windows' package brings (a month needs
# its month file with a call of the month).
printf '  Дата   Время Абон.   Длит. НомерГЛ   Тип      Тел.Номер\r\n01.12.2026 09:00\t20\t3\t1\t1\t2345678\r\n' |
  iconv -t CP1251 >"$work/Data12.txt"
(cd "$work" && "$work/root/usr/bin/norvel" report --month 12 -o r.pdf) &&
  head -c 5 "$work/r.pdf" | grep -q "%PDF-" || { echo "no PDF with both packages"; exit 1; }
for file in usr/bin/NorvelWin usr/bin/norvel usr/bin/station-emulator usr/bin/norvelwin-desktop \
  usr/share/norvelwin/Norvel.hlp usr/share/applications/norvelwin.desktop \
  usr/share/icons/hicolor/scalable/apps/norvelwin.svg usr/share/man/man1/norvel.1.gz \
  usr/share/man/man1/NorvelWin.1.gz usr/share/man/man1/station-emulator.1.gz \
  usr/share/man/man1/norvelwin-desktop.1.gz usr/share/doc/norvelwin/copyright \
  usr/share/doc/norvelwin/changelog.gz usr/share/bash-completion/completions/norvel \
  usr/share/doc/norvel/copyright usr/share/doc/norvel/changelog.gz \
  usr/lib/norvel/plugins/norvel-draw.so \
  usr/lib/systemd/system/norvel-receive@.service usr/lib/systemd/system/norvel-receive@.timer \
  usr/lib/systemd/system/norvel-serve.service usr/lib/norvel/norvel-web \
  usr/lib/systemd/system/norvel-alerts@.service usr/lib/systemd/system/norvel-sync@.service \
  etc/default/norvel-receive etc/default/norvel-serve \
  usr/lib/sysusers.d/norvel.conf usr/lib/tmpfiles.d/norvel.conf \
  usr/share/doc/norvel/README.md.gz; do
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
  sed "s|/usr/bin/norvel|$work/root/usr/bin/norvel|" \
    "$work/root/usr/lib/systemd/system/norvel-serve.service" >"$units/norvel-serve.service"
  sed "s|/usr/bin/norvel|$work/root/usr/bin/norvel|" \
    "$work/root/usr/lib/systemd/system/norvel-alerts@.service" >"$units/norvel-alerts@office.service"
  sed "s|/usr/bin/norvel|$work/root/usr/bin/norvel|" \
    "$work/root/usr/lib/systemd/system/norvel-sync@.service" >"$units/norvel-sync@office.service"
  if systemd-analyze verify --man=no "$units/norvel-receive@office.service" \
    "$units/norvel-receive@office.timer" "$units/norvel-serve.service" \
    "$units/norvel-alerts@office.service" "$units/norvel-sync@office.service" 2>&1 | grep .; then
    echo "systemd-analyze found fault with the units"
    exit 1
  fi
fi
# The hardened units, as systemd rates them: 2.0 or better.
if command -v systemd-analyze >/dev/null; then
  for unit in norvel-receive@office.service norvel-serve.service norvel-alerts@office.service \
    norvel-sync@office.service; do
    exposure="$(cd "$units" && systemd-analyze security --offline=true --no-pager \
      "$unit" 2>/dev/null | sed -n 's/.*Overall exposure level.*: \([0-9.]*\).*/\1/p')"
    awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 2.0) }' ||
      { echo "$unit: exposure ${exposure:-unknown}, above 2.0"; exit 1; }
  done
fi
# The maintainer scripts make the user and the data directory with systemd's own tools; here
# they run on the unpacked root, as on a system being installed into.
dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
  [ -x "$work/control/$script" ] || { echo "no $script"; exit 1; }
done
mkdir -p "$work/root/etc" "$work/root/etc/systemd/system/timers.target.wants"
if command -v systemd-sysusers >/dev/null && command -v systemd-tmpfiles >/dev/null; then
  (cd "$work/root/usr/lib/sysusers.d" && DPKG_ROOT="$work/root" sh "$work/control/postinst" configure)
  grep -q '^norvel:x:[0-9]*:[0-9]*:[^:]*:/var/lib/norvel:' "$work/root/etc/passwd" ||
    { echo "postinst made no user norvel"; exit 1; }
  grep -q '^dialout:.*norvel' "$work/root/etc/group" || { echo "norvel is not in dialout"; exit 1; }
  [ "$(stat -c %a "$work/root/var/lib/norvel")" = 750 ] || { echo "no /var/lib/norvel 0750"; exit 1; }
fi
# Purge forgets an instance's enablement and keeps the call records.
ln -s /usr/lib/systemd/system/norvel-receive@.timer \
  "$work/root/etc/systemd/system/timers.target.wants/norvel-receive@office.timer"
mkdir -p "$work/root/var/lib/norvel/office" && touch "$work/root/var/lib/norvel/office/Data12.txt"
DPKG_ROOT="$work/root" sh "$work/control/postrm" purge
[ ! -e "$work/root/etc/systemd/system/timers.target.wants/norvel-receive@office.timer" ] &&
  [ ! -L "$work/root/etc/systemd/system/timers.target.wants/norvel-receive@office.timer" ] ||
  { echo "purge left the timer enabled"; exit 1; }
[ -e "$work/root/var/lib/norvel/office/Data12.txt" ] || { echo "purge removed call records"; exit 1; }
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
  [ "$(offers "norvel config wr")" = write ] || exit 1
  [ "$(offers "norvel journal s")" = "show settle" ] || { echo "journal: $(offers "norvel journal s")"; exit 1; }
  # The options are the command'"'"'s own, subcommands'"'"' included.
  [ "$(offers "norvel export --to")" = --totals ] || exit 1
  [ "$(offers "norvel config apply --d")" = "--dir --dry-run" ] || { echo "apply: $(offers "norvel config apply --d")"; exit 1; }
  [ "$(offers "norvel journal settle --p")" = --port ] || exit 1
  # A value after "=" completes as after a blank; a command offers only its own options.
  [ "$(offers "norvel export --format=x")" = xlsx ] || { echo "value: $(offers "norvel export --format=x")"; exit 1; }
  [ "$(offers "norvel bill --t")" = "" ] || exit 1
  # A value is offered only where the command has the option: report has no --format.
  [ "$(offers "norvel report --format=")" = "" ] || { echo "report: $(offers "norvel report --format=")"; exit 1; }
  [ "$(offers "norvel bill --by ")" = department ] || exit 1
  [ "$(offers "norvel alerts --sendmail smtp")" = "smtp://localhost:25" ] || exit 1' \
  "$work/root/usr/share/bash-completion/completions/norvel" || { echo "no completion"; exit 1; }
# The dependencies are the Qt libraries the programs link, found by the package tools; the
# windows come with the command of their own version.
dpkg-deb -f "$windows_deb" Depends | grep -q "libqt6widgets6" || { echo "no Qt dependency"; exit 1; }
dpkg-deb -f "$windows_deb" Depends | grep -q "norvel (= " || { echo "norvelwin lacks norvel"; exit 1; }
dpkg-deb -f "$deb" Depends | grep -q "libqt6sql6-sqlite" || { echo "no SQLite driver dependency"; exit 1; }
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$work/root/usr/share/applications/norvelwin.desktop"
fi
grep -q "^Exec=norvelwin-desktop$" "$work/root/usr/share/applications/norvelwin.desktop"
"$work/root/usr/bin/norvel" --help | grep -q "exit codes"
# Help and version without a window or a display.
env -u DISPLAY -u WAYLAND_DISPLAY "$work/root/usr/bin/NorvelWin" --version | grep -q "^NorvelWin [0-9]"
env -u DISPLAY -u WAYLAND_DISPLAY "$work/root/usr/bin/NorvelWin" --help | grep -q "^usage: NorvelWin"
"$work/root/usr/bin/station-emulator" --version | grep -q "^station-emulator [0-9]"

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
