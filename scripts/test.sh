#!/usr/bin/env bash
# Builds everything and runs every test; then builds the tests once more with AddressSanitizer
# and UndefinedBehaviorSanitizer (in build-sanitize/) and runs them again.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cd "$BUILD"
# Most end-to-end tests wait on a line at its real speed rather than compute, so one more test
# than there are processors runs beside them; the timing tests under load (label "load") then
# run by themselves, since they make their own load.
ctest --output-on-failure -j"$(($(nproc) + 1))" --timeout 300 -LE load
ctest --output-on-failure -j"$(nproc)" --timeout 300 -L load

SANITIZE="$ROOT/build-sanitize"
FLAGS="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined"
cmake -S "$ROOT" -B "$SANITIZE" -DCMAKE_BUILD_TYPE=Debug -DNORVEL_BUILD_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$FLAGS" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
  -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$SANITIZE" -j"$(nproc)"
cd "$SANITIZE"
export ASAN_OPTIONS="abort_on_error=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/support/lsan.supp:print_suppressions=0"
# The timing tests under load (label "load") run in the plain build only: sanitizers change
# the program's timing, not the line's. So do the end-to-end writes of a whole image at the
# line's real speed, half a minute each of waiting on the line: the same write through the real
# port stays here (LinkSuite's emulator case), as do the reception's end-to-end tests.
LINE_SPEED_WRITES="ProgrammingEndToEnd\.|OfflineProgramming\.KeyboardEdits|Command\.ConfigWrite"
LINE_SPEED_WRITES+="|EndToEnd\.ProgrammingReadsTheImage|NorvelProcess\.AWriteCutByAPull"
# The network's own tests wait on the line through ser2net for minutes; the transport stays
# here in its own tests and the doctor's, the reception in its tests on the pseudo-terminal.
LINE_SPEED_WRITES+="|NetworkStation\.(AWholeImage|StallsOfTheNetwork|AConnectionLost|AReception)"
# Five receptions at once are five of the same processes the reception's own tests check here,
# and a month synced day by day runs the same sync code into SQLite as into PostgreSQL: their
# second halves only lengthen the pass.
LINE_SPEED_WRITES+="|NetworkStations\.Five|DayByDay.*/PostgreSQL"
ctest --output-on-failure -j"$(nproc)" --timeout 600 -LE load -E "$LINE_SPEED_WRITES"
