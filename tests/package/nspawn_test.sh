#!/usr/bin/env bash
# The package as an administrator meets it: installed in a minimal Debian booted under a real
# systemd (systemd-nspawn), with the station emulator on a pseudo-terminal. The timer's
# reception stores the calls; the sync unit copies them into SQLite and PostgreSQL; the alerts
# unit mails through the local exim, and sends nothing while switched off; a full disk, a
# failed sync and an undelivered alert each show in norvel status; the doctor's advice, run as
# printed by root, leaves the next reception working; a reinstall brings the timer back.
# Each unit's exposure, as systemd rates it there, is printed.
#
# The Debian root is made once with mmdebstrap from this machine's apt sources and kept in
# NORVEL_NSPAWN_CACHE (default /var/cache/norvel-tests); each run boots it with a volatile
# overlay, so it stays as made. Without root, systemd-nspawn or a root, the test says why and
# is skipped (exit 77).
# usage: nspawn_test.sh BUILD_DIR
set -euo pipefail
build="$1"
skip() {
  echo "SKIPPED: $*"
  exit 77
}
[ "$(id -u)" = 0 ] || skip "needs root to boot a container"
command -v systemd-nspawn >/dev/null || skip "no systemd-nspawn (package systemd-container)"
command -v mmdebstrap >/dev/null || skip "no mmdebstrap"

work="$(mktemp -d)"
nspawn=""
finish() {
  if [ -n "$nspawn" ] && kill -0 "$nspawn" 2>/dev/null; then
    kill "$nspawn" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$nspawn" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$nspawn" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap finish EXIT

cpack -G DEB -B "$work/debs" --config "$build/CPackConfig.cmake" >/dev/null
deb="$(ls "$work"/debs/norvel_*.deb)"
cp "$deb" "$work/norvel.deb"

# What the root holds: systemd, the mail and database servers, and what the package depends
# on, named as the package names it (without versions).
depends="$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (].*//' | grep . | sort)"
packages="systemd systemd-sysv dbus exim4-daemon-light postgresql sqlite3 procps util-linux
libqt6sql6-psql ser2net iproute2
$depends"
key="$(echo "$packages" | sort | sha256sum | cut -c1-16)"
cache="${NORVEL_NSPAWN_CACHE:-/var/cache/norvel-tests}"
root="$cache/bookworm-$key"
if [ ! -e "$root/.complete" ]; then
  rm -rf "$root"
  mkdir -p "$cache"
  echo "making a Debian root in $root (once)"
  if ! mmdebstrap --variant=minbase --include="$(echo $packages | tr ' ' ',')" bookworm "$root" \
    >"$work/mmdebstrap.log" 2>&1; then
    tail -5 "$work/mmdebstrap.log"
    rm -rf "$root"
    skip "mmdebstrap could not make a Debian root"
  fi
  touch "$root/.complete"
fi

# Booted with its own loopback, so its servers meet nothing of the machine's.
systemd-nspawn -q -D "$root" --volatile=overlay --private-network --register=no --keep-unit \
  --bind-ro="$work/norvel.deb:/root/norvel.deb" -b >"$work/boot.log" 2>&1 &
nspawn=$!
leader=""
for _ in $(seq 300); do
  leader="$(pgrep -P "$nspawn" | head -1 || true)"
  [ -n "$leader" ] && [ "$(cat "/proc/$leader/comm" 2>/dev/null)" = systemd ] && break
  kill -0 "$nspawn" 2>/dev/null || break
  leader=""
  sleep 0.1
done
if [ -z "$leader" ]; then
  tail -5 "$work/boot.log"
  skip "systemd-nspawn could not boot the root here"
fi
ct() { nsenter -t "$leader" -a -- "$@"; }
fail() {
  echo "FAILED: $*"
  ct journalctl --no-pager -n 60 -o short-monotonic 2>/dev/null | tail -60
  exit 1
}
# Its manager answers once its bus is up; then it says when the boot is done.
state=""
for _ in $(seq 600); do
  state="$(timeout 120 nsenter -t "$leader" -a -- systemctl is-system-running --wait 2>/dev/null ||
    true)"
  [ -n "$state" ] && break
  sleep 0.2
done
[ "$state" = running ] || [ "$state" = degraded ] || fail "the container booted to '$state'"
echo "booted: systemd $(ct systemctl --version | head -1 | cut -d' ' -f2), state $state"

ct dpkg -i /root/norvel.deb >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
ct getent passwd norvel | grep -q ':/var/lib/norvel:' || fail "no user norvel"
[ "$(ct stat -c '%U %a' /var/lib/norvel/archive)" = "norvel 750" ] || fail "no archive directory"
[ "$(ct systemctl is-enabled norvel-serve.service)" = disabled ] || fail "serve enabled on install"
ct grep -qx '/etc/default/norvel-receive' /var/lib/dpkg/info/norvel.conffiles ||
  fail "the defaults file is no conffile"

# The station: the emulator as the user norvel, so that its pseudo-terminal is norvel's.
station() {
  # A stopped emulator's unit is failed (SIGTERM) and would stay loaded under its name: it is
  # collected as it ends, and forgotten if an older one is left.
  ct systemctl stop station.service 2>/dev/null || true
  ct systemctl reset-failed station.service 2>/dev/null || true
  ct systemd-run -q --unit=station --uid=norvel --gid=norvel -p RuntimeDirectory=station \
    -p CollectMode=inactive-or-failed \
    /usr/bin/station-emulator --link /run/station/tty --calls "$1" --call-days 3 --seed "$2"
  for _ in $(seq 100); do ct test -e /run/station/tty && return 0; sleep 0.1; done
  fail "the emulator did not start"
}
# The README's recipes run as written, by root (no sudo in the root), the example device
# replaced by the emulator's.
readme="$(dirname "$0")/../../README.md"
recipe() { awk -v h="$1" '$0 ~ h { f = 1 } f && /^```sh/ { g = 1; next } g && /^```/ { exit } g' \
  "$readme"; }
as_root() { ct sh -c "sudo() { \"\$@\"; }; set -e; $1" >/dev/null; }
station 30 1
port="$(recipe '^### Receiving every night' |
  sed 's|/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0|/run/station/tty|')"
echo "$port" | grep -q 'port.conf' || fail "no port recipe in the README"
as_root "$port" || fail "the README's port recipe failed"
[ "$(ct systemctl is-active norvel-receive@office.timer)" = active ] || fail "timer not active"

defaults() { printf '%s\n' "$@" | ct tee /etc/default/norvel-receive >/dev/null; }
# A oneshot started by OnSuccess= of the reception: waits for its run to end, then gives its
# result and exit status.
settled() {
  for _ in $(seq 600); do
    case "$(ct systemctl show -P ActiveState "$1")" in
      activating | deactivating) sleep 0.1 ;;
      *) break ;;
    esac
  done
  echo "$(ct systemctl show -P Result "$1") $(ct systemctl show -P ExecMainStatus "$1")"
}
receive() {
  ct systemctl reset-failed 'norvel-*' 2>/dev/null || true
  ct systemctl start norvel-receive@office.service || true
  settled norvel-receive@office.service >/dev/null
  settled norvel-sync@office.service >/dev/null
  settled norvel-alerts@office.service >/dev/null
}
status_json() { ct runuser -u norvel -- norvel status --dir /var/lib/norvel/office --json || true; }

# 1. The timer's reception into SQLite, alerts switched off.
defaults 'NORVEL_SYNC_DB=sqlite:/var/lib/norvel/archive/calls.db' 'NORVEL_SYNC_OPTIONS=--init'
ct install -d -o norvel -g norvel -m 0750 /var/lib/norvel/office
printf 'mail = mail@localhost\n\n[Все разговоры]\nlevel = предупреждение\nlonger_than = 0\n' |
  ct runuser -u norvel -- tee /var/lib/norvel/office/NorvelAlerts.txt >/dev/null
receive
[ "$(settled norvel-receive@office.service)" = "success 0" ] || fail "the reception failed"
month="$(ct ls /var/lib/norvel/office | grep -m1 '^Data')" || fail "no month file"
[ "$(ct stat -c '%U %G %a' "/var/lib/norvel/office/$month")" = "norvel norvel 640" ] ||
  fail "month file owner or mode: $(ct stat -c '%U %G %a' "/var/lib/norvel/office/$month")"
ct journalctl -q --no-pager -u norvel-receive@office.service -o cat | grep -q '^stored [1-9]' ||
  fail "no summary in the journal"
[ "$(settled norvel-sync@office.service)" = "success 0" ] || fail "the sync into SQLite failed"
rows="$(ct sqlite3 /var/lib/norvel/archive/calls.db 'SELECT count(*) FROM calls')"
[ "$rows" -gt 0 ] || fail "no calls in the SQLite archive"
ct test ! -e /var/mail/mail || fail "alerts switched off sent mail"
ct test ! -e /var/lib/norvel/office/NorvelLastAlerts.json || fail "alerts switched off ran"
status_json | grep -q '"problems":\[\]' || fail "status after a good night: $(status_json)"
echo "reception: $month, $rows calls in SQLite, no alert while switched off"

# 2. PostgreSQL over its socket: refused while its database is missing, then synced.
pg='postgresql://norvel@/calls?host=/run/postgresql'
ct runuser -u postgres -- createuser norvel
defaults "NORVEL_SYNC_DB=$pg" 'NORVEL_SYNC_OPTIONS=--init'
ct systemctl start norvel-sync@office.service || true
[ "$(settled norvel-sync@office.service)" = "exit-code 13" ] || fail "a refused sync did not fail"
status_json | grep -q 'the last sync to .* failed' || fail "status missed the failed sync"
ct runuser -u norvel -- norvel status --dir /var/lib/norvel/office >/dev/null &&
  fail "status exited 0 after a failed sync"
ct runuser -u postgres -- createdb -O norvel calls
ct systemctl start norvel-sync@office.service || true
[ "$(settled norvel-sync@office.service)" = "success 0" ] || fail "the sync into PostgreSQL failed"
pg_rows="$(ct runuser -u norvel -- psql -At -d calls -c 'SELECT count(*) FROM calls')"
[ "$pg_rows" = "$rows" ] || fail "PostgreSQL holds $pg_rows calls, SQLite $rows"
status_json | grep -q '"problems":\[\]' || fail "status after the sync: $(status_json)"
echo "sync: $pg_rows calls in PostgreSQL; a refused sync showed in status"

# 3. Alerts switched on: mailed through exim over SMTP; then undelivered, then delivered.
defaults 'NORVEL_ALERTS=yes'
ct systemctl start norvel-alerts@office.service || true
[ "$(settled norvel-alerts@office.service)" = "success 1" ] || fail "the check did not deliver"
for _ in $(seq 100); do ct test -s /var/mail/mail && break; sleep 0.1; done
ct grep -q '^Subject: =?UTF-8?B?' /var/mail/mail || fail "no alert mail in /var/mail/mail"
ct rm /var/lib/norvel/office/NorvelAlerts.seen
ct systemctl stop exim4
ct systemctl start norvel-alerts@office.service || true
[ "$(settled norvel-alerts@office.service)" = "exit-code 13" ] || fail "no failure undelivered"
status_json | grep -q 'the last check for suspicious calls failed' ||
  fail "status missed the undelivered alert: $(status_json)"
ct systemctl start exim4
# exim's start returns as its daemon forks, before it listens: the mail waits for the port.
for _ in $(seq 200); do ct grep -q ':0019 00000000:0000 0A' /proc/net/tcp && break; sleep 0.1; done
ct systemctl start norvel-alerts@office.service || true
[ "$(settled norvel-alerts@office.service)" = "success 1" ] || fail "no delivery after exim"
status_json | grep -q '"problems":\[\]' || fail "status after delivery: $(status_json)"
echo "alerts: mailed through exim, an undelivered one showed in status"

# 4. A full disk: the reception fails, and cannot even record it; status still knows.
defaults ''
station 40 2
ct sh -c 'cd /var/lib/norvel/office && tar cf /root/office.tar .'
ct mount -t tmpfs -o size=1M,mode=0750,uid="$(ct id -u norvel)",gid="$(ct id -g norvel)" \
  tmpfs /var/lib/norvel/office
ct sh -c 'cd /var/lib/norvel/office && tar xpf /root/office.tar'
ct sh -c 'cat /dev/zero >/var/lib/norvel/office/filler 2>/dev/null' || true
receive
code="$(settled norvel-receive@office.service)"
[ "$code" = "exit-code 13" ] || fail "a reception on a full disk ended with '$code'"
status_json | grep -q 'did not record how it ended' ||
  fail "status missed the reception on a full disk: $(status_json)"
ct umount /var/lib/norvel/office
receive
[ "$(settled norvel-receive@office.service)" = "success 0" ] || fail "no reception after the disk"
status_json | grep -q '"problems":\[\]' || fail "status after the disk: $(status_json)"
echo "full disk: the failed reception showed in status"
ct mkdir -p /backup
as_root "$(recipe '^### Backing up')" || fail "the README's backup recipe failed"
[ "$(ct sh -c 'sqlite3 /backup/calls-*.db "SELECT count(*) FROM calls"')" = "$rows" ] ||
  fail "the backup of the archive does not hold its calls"
# The whole listing is read (no grep -q): a reader that stops at its match would cut tar off
# with SIGPIPE, and pipefail would take that for a missing file.
ct sh -c 'tar -tzf /backup/norvel-*.tar.gz' | grep 'norvel/office/Data' >/dev/null ||
  fail "the backup lacks the month files"
echo "backup: the README's recipe copied the stations and the archive"

# 5. Root runs a reception by hand; the doctor, as root, judges for norvel, and its advice,
# run as printed, leaves the unit's reception working.
station 10 3
ct sh -c 'cd /var/lib/norvel/office && NORVEL_COM2=/run/station/tty norvel receive -q' || true
ct sh -c 'cd /var/lib/norvel/office && ls -l' | grep -q ' root ' || fail "root left no file"
report="$(ct sh -c 'NORVEL_COM2=/run/station/tty norvel doctor --dir /var/lib/norvel/office --json' || true)"
echo "$report" | grep -q '"user":"norvel"' || fail "the doctor judged as: $report"
echo "$report" | grep -q 'USER' && fail "the doctor printed \$USER: $report"
while IFS= read -r command; do
  echo "following the doctor: $command"
  ct sh -c "$command" || fail "its advice failed: $command"
done < <(echo "$report" | python3 -c '
import json, sys
for step in json.load(sys.stdin)["steps"]:
    if "command" in step: print(step["command"])')
station 10 4
receive
[ "$(settled norvel-receive@office.service)" = "success 0" ] || fail "the doctor's advice broke it"
echo "doctor: judged for norvel, its advice kept the reception working"

# 6. Priorities in the journal, also through systemd-cat; the web view can be enabled.
ct sh -c 'systemd-cat -t norvel-cat norvel doctor --port 9 --dir /var/lib/norvel/office' || true
ct journalctl -q --no-pager -t norvel-cat -p err -o cat | grep -q '^1\. COM9 is' ||
  fail "systemd-cat did not get the doctor's failure at priority err"
ct journalctl -q --no-pager -t norvel-cat -p err -o cat | grep -q 'OK$' &&
  fail "an OK step logged as an error"
ct systemctl enable -q norvel-serve.service || fail "norvel-serve cannot be enabled"

# 7. Removed and installed again: the enabled timer runs again without a reboot.
ct dpkg -r norvel >/dev/null
[ "$(ct systemctl is-active norvel-receive@office.timer)" != active ] || fail "timer left running"
ct dpkg -i /root/norvel.deb >/dev/null
[ "$(ct systemctl is-active norvel-receive@office.timer)" = active ] ||
  fail "the timer did not come back after a reinstall"
echo "reinstall: the timer is active again"

# 8. A station behind a device server: ser2net in front of a second emulator, at the README's
# example address (given to the container's loopback, the only interface it has), reached by
# the README's drop-in as written, which opens the unit to that address alone.
ct systemd-run -q --unit=station2 --uid=norvel --gid=norvel -p RuntimeDirectory=station2 \
  /usr/bin/station-emulator --link /run/station2/tty --calls 12 --call-days 1 --seed 8
for _ in $(seq 100); do ct test -e /run/station2/tty && break; sleep 0.1; done
ct ip addr add 192.0.2.7/32 dev lo
printf 'connection: &branch\n  accepter: telnet(rfc2217),tcp,192.0.2.7,2000\n  connector: serialdev,/run/station2/tty,9600n81,local\n' |
  ct tee /run/ser2net.yaml >/dev/null
ct systemctl stop ser2net.service 2>/dev/null || true  # the package's own, on the same port
ct systemd-run -q --unit=deviceserver /usr/sbin/ser2net -n -d -c /run/ser2net.yaml
for _ in $(seq 100); do ct grep -q ':07D0 00000000:0000 0A' /proc/net/tcp && break; sleep 0.1; done
network="$(recipe '^### Receiving from stations across the network')"
echo "$network" | grep -q 'rfc2217://' || fail "no network recipe in the README"
ct install -d -o norvel -g norvel -m 0750 /var/lib/norvel/branch
as_root "$network" || fail "the README's network recipe failed"
ct systemctl reset-failed 'norvel-*' 2>/dev/null || true
ct systemctl start norvel-receive@branch.service || true
[ "$(settled norvel-receive@branch.service)" = "success 0" ] ||
  fail "the reception through the device server failed: $(ct journalctl -q --no-pager -u norvel-receive@branch.service -o cat | tail -5)"
ct journalctl -q --no-pager -u norvel-receive@branch.service -o cat | grep -q '^stored 12' ||
  fail "not 12 calls through the device server: $(ct journalctl -q --no-pager -u norvel-receive@branch.service -o cat | tail -3)"
echo "network: 12 calls through ser2net under the unit, open to that address alone"

# 9. The web view under its unit, over the PostgreSQL archive: a browser's sign-in and a page
# with 300 idle connections open, within the unit's open-file limit and system-call filter.
printf 'secret\n' | ct sh -c 'install -d -m 0755 /etc/norvel &&
  norvel serve --passwords /etc/norvel/web-passwords --add-user boss &&
  chown norvel:norvel /etc/norvel/web-passwords' || fail "no user added to the password file"
printf 'NORVEL_SERVE_DB=%s\nNORVEL_SERVE_OPTIONS=--passwords /etc/norvel/web-passwords\n' "$pg" |
  ct tee /etc/default/norvel-serve >/dev/null
ct systemctl restart norvel-serve.service || fail "norvel-serve did not start"
for _ in $(seq 100); do ct grep -q ':1F90 00000000:0000 0A' /proc/net/tcp && break; sleep 0.1; done
web="$(ct bash -c '
  for _ in $(seq 300); do exec {idle}<>/dev/tcp/127.0.0.1/8080; done
  exec 3<>/dev/tcp/127.0.0.1/8080
  form="user=boss&password=secret&next=%2F"
  printf "POST /signin HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n%s" ${#form} "$form" >&3
  cookie=
  while IFS= read -r -t 20 line <&3 && [ "$line" != $'"'"'\r'"'"' ]; do
    case "$line" in Set-Cookie:*) cookie="${line#Set-Cookie: }"; cookie="${cookie%%;*}" ;; esac
  done
  printf "GET / HTTP/1.1\r\nHost: x\r\nCookie: %s\r\nConnection: close\r\n\r\n" "$cookie" >&3
  timeout 20 cat <&3' 2>&1)"
echo "$web" | grep -q '^HTTP/1.1 200' && echo "$web" | grep -q '<h1>Станции</h1>' &&
  echo "$web" | grep -q 'office</a></td>' ||
  fail "no signed-in page from norvel-serve: $(echo "$web" | tail -c 600) $(ct journalctl -q --no-pager -u norvel-serve.service -o cat | tail -3)"
[ "$(ct systemctl show -p NRestarts --value norvel-serve.service)" = 0 ] &&
  [ "$(ct systemctl is-active norvel-serve.service)" = active ] ||
  fail "norvel-serve did not stay up: $(ct journalctl -q --no-pager -u norvel-serve.service -o cat | tail -3)"
echo "serve: signed in and a page with 300 idle connections open, under the unit"

for unit in norvel-receive@office.service norvel-sync@office.service \
  norvel-alerts@office.service norvel-serve.service; do
  exposure="$(ct systemd-analyze security --no-pager "$unit" 2>/dev/null |
    sed -n 's/.*Overall exposure level.*: \([0-9.]*\).*/\1/p')"
  echo "exposure $unit: ${exposure:-unknown}"
  limit=2.0
  [ "$unit" = norvel-receive@office.service ] && limit=1.0
  awk -v e="$exposure" -v l="$limit" 'BEGIN { exit !(e != "" && e <= l) }' ||
    fail "$unit: exposure ${exposure:-unknown}, above $limit"
done
echo "systemd package test passed"
