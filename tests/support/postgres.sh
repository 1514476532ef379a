#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests and benchmarks, from Debian's package: its data
# directory and Unix socket in a new directory under /tmp, TLS-only TCP on 127.0.0.1 at a free
# port, run by an unprivileged user (postgres) when started by root, as initdb demands.
#   postgres.sh start URL_FILE [--durable]  starts it and writes its URL into URL_FILE (the
#                                           socket) and URL_FILE.tls (TLS, verify-full)
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
  rm -f "$url_file" "$url_file.dir" "$url_file.tls"
}
# A certificate authority (ca.crt), the server's key and certificate for localhost and
# 127.0.0.1 signed by it, and another authority (other-ca.crt).
tls() {
  local dir="$1"
  local ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  openssl req -x509 "${ec[@]}" -keyout "$dir/ca.key" -out "$dir/ca.crt" -days 2 \
    -subj "/CN=norvel test CA" 2>/dev/null
  openssl req -x509 "${ec[@]}" -keyout "$dir/other-ca.key" -out "$dir/other-ca.crt" -days 2 \
    -subj "/CN=norvel other CA" 2>/dev/null
  openssl req "${ec[@]}" -keyout "$dir/server.key" -out "$dir/server.csr" \
    -subj "/CN=localhost" 2>/dev/null
  printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\n' >"$dir/server.ext"
  openssl x509 -req -in "$dir/server.csr" -CA "$dir/ca.crt" -CAkey "$dir/ca.key" \
    -CAcreateserial -out "$dir/server.crt" -days 2 -extfile "$dir/server.ext" 2>/dev/null
  chmod 600 "$dir/server.key"
  [ "$(id -u)" -eq 0 ] && chown postgres "$dir/server.key" "$dir/server.crt"
  return 0
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
    # TLS on 127.0.0.1 with a certificate of a self-made authority, and a second authority
    # that signed nothing, for connections that must verify the server. Over TCP only TLS is
    # taken, so a connection that works there has used it.
    tls "$dir"
    printf 'hostnossl all all 0.0.0.0/0 reject\n%s\n' "$(cat "$dir/data/pg_hba.conf")" \
      >"$dir/data/pg_hba.conf"
    options="-k $dir -c ssl=on -c ssl_cert_file=$dir/server.crt -c ssl_key_file=$dir/server.key"
    [ "${3:-}" = "--durable" ] || options="$options -c fsync=off -c synchronous_commit=off"
    # The TCP port is one no other server on this machine holds; its socket lives in $dir.
    started=""
    for _ in 1 2 3 4 5 6 7 8; do
      port=$((20000 + RANDOM % 40000))
      if as_server "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
        -o "$options -c listen_addresses=127.0.0.1 -p $port" start >/dev/null; then
        started=yes
        break
      fi
    done
    [ -n "$started" ] || { cat "$dir/server.log"; exit 1; }
    as_server "$bin/createdb" -h "$dir" -p "$port" -U norvel norvel_test
    echo "postgresql://norvel@/norvel_test?host=$dir&port=$port" >"$url_file"
    echo "postgresql://norvel@localhost:$port/norvel_test?sslmode=verify-full&sslrootcert=$dir/ca.crt" \
      >"$url_file.tls"
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
