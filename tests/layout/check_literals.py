#!/usr/bin/env python3
"""The station's facts have one home each: extensions 20..43 (24 of them) and 8 city lines in
core/image/ImageLayout.h, the minutes of a day in core/files/CallRecords.h, the line rates 325 and
976 bit/s in core/link/RS232.h. Elsewhere in the code (strings and comments aside) they are
named, so that no copy can drift. Likewise which database the archive lives in is known only
to its back-end files; the schema, the sync and the web view ask the dialect. Prints every
copy and fails when there is one.
usage: check_literals.py SOURCE_DIR"""
import pathlib
import re
import sys

HOMES = {"core/image/ImageLayout.h", "core/files/CallRecords.h", "core/link/RS232.h"}
# The last extension, the day's minutes and the rates anywhere; the first extension, the count
# of extensions and of city lines where a subscriber or a line is compared with them.
LITERALS = [
    re.compile(r"(?<![\w.'])(43|1440|325|976)(?![\w.'])"),
    re.compile(r"[Ss]ubscriber\w*\)?\s*(<|<=|>|>=|==|-|\+)\s*(19|20|23|24)\b"),
    re.compile(r"[Ll]ine\w*\)?\s*(<|<=|>|>=)\s*8\b"),
]
BACK_END = {"core/sync/DatabaseTarget.cpp", "core/sync/DatabaseTarget.h",
            "core/sync/DatabaseConnection.cpp", "core/sync/DatabaseConnection.h",
            "core/sync/SqliteRows.cpp", "core/sync/PostgresRows.cpp", "core/sync/LibPq.cpp",
            "core/sync/LibPq.h"}
DATABASE_KIND = re.compile(r"Postgres\(\)|Kind::k(Postgres|Sqlite)\b|QPSQL|QSQLITE|sqlite_master|"
                           r"information_schema|to_char\(|TIMESTAMPTZ|set_config\(")
MASK = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'|^[ \t]*#[^\n]*',
                  re.S | re.M)


def masked(text):
    return MASK.sub(lambda m: re.sub(r"[^\n]", " ", m.group(0)), text)


def main():
    src = pathlib.Path(sys.argv[1]) / "src"
    found = []
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".cpp", ".h") or str(path.relative_to(src)) in HOMES:
            continue
        text = path.read_text(encoding="utf-8")
        code = masked(text).split("\n")
        lines = text.split("\n")
        for number, line in enumerate(code, 1):
            if any(literal.search(line) for literal in LITERALS):
                found.append(f"src/{path.relative_to(src)}:{number}: {lines[number - 1].strip()}")
        if str(path.relative_to(src)) not in BACK_END:
            for number, line in enumerate(lines, 1):
                if DATABASE_KIND.search(line):
                    found.append(f"src/{path.relative_to(src)}:{number}: names a database: "
                                 f"{line.strip()}")
    for line in found:
        print(line)
    if found:
        print("name these facts (kFirstSubscriber, kLastSubscriber, kMaxSubscribers, "
              "kMaxCityLines, kMinutesPerDay, RS232Class::kWriteRate/kReadRate), and ask "
              "the connection's Dialect() what differs between databases")
        return 1
    print("every fact of the station has one home")
    return 0


if __name__ == "__main__":
    sys.exit(main())
