#!/usr/bin/env bash
# Mutation run: changes one comparison or one integer constant of the given source files at a
# time, rebuilds only the test program that covers the file, runs it, and lists the changes no
# test noticed (the survivors). A comparison moves across its edge (< and <=, > and >=) or turns
# round (== and !=); a constant grows by one. Strings, comments and preprocessor lines are left
# alone. The files are put back whatever happens.
#
# usage: tests/mutate.sh [--build DIR] [--since REV] [--max N] [--filter GTEST] [--target T]
#                        FILE...
#   --since REV   only the lines changed since REV (git diff), for a change under review
#   --max N       at most N mutants per file, spread evenly over it
#   --filter F    the tests to run (default: the whole test program of the file's folder)
#   --target T    the test program to run (default: the one of the file's folder), for code
#                 whose tests run through the command, such as the bills
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build"
since=""
max=0
filter="*"
chosen=""
files=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build="$2"; shift 2 ;;
    --since) since="$2"; shift 2 ;;
    --max) max="$2"; shift 2 ;;
    --filter) filter="$2"; shift 2 ;;
    --target) chosen="$2"; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    *) files+=("$1"); shift ;;
  esac
done
[ "${#files[@]}" -gt 0 ] || { sed -n '2,14p' "$0"; exit 2; }

# The test program that covers each folder.
target_of() {
  case "$1" in
    src/core/base/*|src/core/tables/*|src/core/editor/*|src/core/image/*) echo editor_tests ;;
    src/core/files/*|src/core/platform/*) echo files_tests ;;
    src/core/link/*) echo link_tests ;;
    src/core/station/*) echo station_tests ;;
    src/core/tariff/*) echo tariff_tests ;;
    src/core/costs/*) echo costs_tests ;;
    src/core/sync/*) echo sync_tests ;;
    src/web/*) echo web_tests ;;
    src/cli/*) echo cli_tests ;;
    src/ui/tables/*) echo tables_tests ;;
    src/ui/*) echo shell_tests ;;
    *) echo "no test program known for $1" >&2; return 1 ;;
  esac
}

# Lists the mutants of a file as "offset<TAB>length<TAB>replacement<TAB>line<TAB>what".
list_mutants() {
  python3 - "$1" "$2" "$3" <<'PY'
import re, subprocess, sys
path, since, most = sys.argv[1], sys.argv[2], int(sys.argv[3])
text = open(path, encoding="utf-8").read()
# Strings, characters, comments and preprocessor lines are masked out with blanks.
masked = list(text)
for m in re.finditer(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'|^[ \t]*#[^\n]*',
                     text, re.S | re.M):
    for i in range(m.start(), m.end()):
        if masked[i] != "\n":
            masked[i] = " "
masked = "".join(masked)
wanted = None
if since:
    diff = subprocess.run(["git", "diff", "-U0", since, "--", path], capture_output=True,
                          text=True, check=True).stdout
    wanted = set()
    for m in re.finditer(r"^@@ -\S+ \+(\d+)(?:,(\d+))? @@", diff, re.M):
        start, count = int(m.group(1)), int(m.group(2) or 1)
        wanted.update(range(start, start + count))
flips = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
mutants = []
for m in re.finditer(r" (<=|>=|==|!=|<|>) ", masked):
    mutants.append((m.start(1), len(m.group(1)), flips[m.group(1)]))
for m in re.finditer(r"(?<![\w.'])(\d+)(?![\w.'])", masked):
    value = int(m.group(1))
    mutants.append((m.start(1), len(m.group(1)), str(value + 1)))
mutants.sort()
rows = []
for offset, length, replacement in mutants:
    line = text.count("\n", 0, offset) + 1
    if wanted is not None and line not in wanted:
        continue
    rows.append((offset, length, replacement, line, text[offset:offset + length]))
if most and len(rows) > most:
    step = len(rows) / most
    rows = [rows[int(i * step)] for i in range(most)]
for offset, length, replacement, line, original in rows:
    print(f"{offset}\t{length}\t{replacement}\t{line}\t{original} -> {replacement}")
PY
}

apply_mutant() {
  python3 - "$1" "$2" "$3" "$4" <<'PY'
import sys
path, offset, length, replacement = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
text = open(path, encoding="utf-8").read()
open(path, "w", encoding="utf-8").write(text[:offset] + replacement + text[offset + length:])
PY
}

killed_total=0
survived_total=0
survivors=()
for file in "${files[@]}"; do
  file="${file#"$root"/}"
  target="${chosen:-$(target_of "$file")}"
  backup="$(mktemp)"
  cp "$root/$file" "$backup"
  trap 'cp "$backup" "$root/$file"; touch "$root/$file"' EXIT INT TERM
  mutants="$(cd "$root" && list_mutants "$file" "$since" "$max")"
  count="$(printf '%s' "$mutants" | grep -c . || true)"
  echo "$file: $count mutants, tested by $target"
  killed=0
  survived=0
  while IFS=$'\t' read -r offset length replacement line what; do
    [ -n "$offset" ] || continue
    cp "$backup" "$root/$file"
    apply_mutant "$root/$file" "$offset" "$length" "$replacement"
    if ! cmake --build "$build" --target "$target" >/dev/null 2>&1; then
      continue  # does not compile: no mutant
    fi
    if QT_QPA_PLATFORM=offscreen timeout 600 "$build/bin/$target" --gtest_filter="$filter" \
      >/dev/null 2>&1; then
      survived=$((survived + 1))
      survivors+=("$file:$line: $what")
      echo "  survived $file:$line: $what"
    else
      killed=$((killed + 1))
    fi
  done <<<"$mutants"
  cp "$backup" "$root/$file"
  touch "$root/$file"
  rm -f "$backup"
  trap - EXIT INT TERM
  echo "$file: killed $killed, survived $survived"
  killed_total=$((killed_total + killed))
  survived_total=$((survived_total + survived))
done
cmake --build "$build" --target "$target" >/dev/null 2>&1 || true
echo "all: killed $killed_total, survived $survived_total"
for survivor in "${survivors[@]+"${survivors[@]}"}"; do echo "  $survivor"; done
[ "$survived_total" -eq 0 ]
