#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests and benchmarks, from Debian's package: its data
# directory and Unix socket in a new directory under /tmp, no TCP port, run by an unprivileged
# user (postgres) when started by root, as initdb demands.
#   postgres.sh start URL_FILE [--durable]  starts it and writes its URL into URL_FILE
#   postgres.sh stop URL_FILE               stops it and removes its directory
# Without --durable the server skips fsync: the tests need no power-cut safety from it.
set -euo pipefail
action="$1"
url_file="$2"
bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)"
[ -x "$bin/initdb" ] || { echo "no PostgreSQL server here (Debian package postgresql)"; exit 1; }
as_server() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}
stop() {
  [ -f "$url_file.dir" ] || return 0
  local dir
  dir="$(cat "$url_file.dir")"
  if [ -d "$dir/data" ]; then
    as_server "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
  rm -f "$url_file" "$url_file.dir"
}
case "$action" in
  start)
    stop
    dir="$(mktemp -d /tmp/norvel-pg.XXXXXX)"
    chmod 755 "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres "$dir"
    echo "$dir" >"$url_file.dir"
    as_server "$bin/initdb" -D "$dir/data" -U norvel --auth=trust -E UTF8 --locale=C.UTF-8 \
      >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log"; exit 1; }
    options="-k $dir -c listen_addresses= -p 5432"
    [ "${3:-}" = "--durable" ] || options="$options -c fsync=off -c synchronous_commit=off"
    as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -o "$options" start >/dev/null ||
      { cat "$dir/server.log"; exit 1; }
    as_server "$bin/createdb" -h "$dir" -U norvel norvel_test
    echo "postgresql://norvel@/norvel_test?host=$dir" >"$url_file"
    echo "PostgreSQL $("$bin/postgres" --version | awk '{print $3}') at $(cat "$url_file")"
    ;;
  stop)
    stop
    ;;
  *)
    echo "usage: $0 start|stop URL_FILE [--durable]"
    exit 2
    ;;
esac
