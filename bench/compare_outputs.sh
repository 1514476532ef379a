#!/usr/bin/env bash
# Compares what two builds of norvel write from the same months: exports (CSV, TSV, totals),
# bills (CSV) and the report (PNG pages), byte for byte. For a change that must not change
# behaviour: build the old and the new norvel, then
#   bench/compare_outputs.sh OLD/norvel NEW/norvel
# The months come from the station emulator's generated calls, received once by the new build;
# the tariff file is the README's example.
set -euo pipefail
old="$(realpath "$1")"
new="$(realpath "$2")"
root="$(cd "$(dirname "$0")/.." && pwd)"
emulator="$(dirname "$new")/station-emulator"
work="$(mktemp -d)"
trap 'kill "$station" 2>/dev/null || true; rm -rf "$work"' EXIT

mkdir -p "$work/months"
cd "$work/months"
"$emulator" --link "$work/tty" --calls 3000 --call-days 45 --seed 7 --boards 4 >/dev/null 2>&1 &
station=$!
for _ in $(seq 50); do [ -L "$work/tty" ] && break; sleep 0.1; done
printf '01.01.2026 ; x\r\n2 ; x\r\n4 ; x\r\n' >NorvelWin.ini
NORVEL_COM2="$work/tty" "$new" receive -q
sed -n '/^```ini$/,/^```$/p' "$root/README.md" | sed -n '/^# NorvelTariffs.txt/,/^```$/p' |
  sed '$d' >NorvelTariffs.txt

outputs() {
  local norvel="$1" out="$2"
  mkdir -p "$out"
  for month in $(ls Data*.txt | sed 's/Data *\([0-9]*\)\.txt/\1/'); do
    "$norvel" export --month="$month" -q -o "$out/export-$month.csv"
    "$norvel" export --month="$month" -q --format=tsv -o "$out/export-$month.tsv"
    "$norvel" export --month="$month" -q --totals -o "$out/totals-$month.csv"
    "$norvel" bill --month="$month" -o "$out/bill-$month.csv" >/dev/null
    "$norvel" report --month="$month" -o "$out/report-$month.png" >/dev/null
  done
}
outputs "$old" "$work/old"
outputs "$new" "$work/new"
if diff -r "$work/old" "$work/new" >/dev/null; then
  echo "identical: $(ls "$work/new" | wc -l) files from $(ls Data*.txt | wc -l) months"
else
  diff -rq "$work/old" "$work/new"
  exit 1
fi
