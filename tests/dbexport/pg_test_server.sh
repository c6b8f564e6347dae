#!/bin/sh
# Starts or stops a throw-away PostgreSQL server for the SQL integration test.
#   pg_test_server.sh start DIR PORT   initdb in DIR/data, listen on 127.0.0.1:PORT
#   pg_test_server.sh stop DIR
# Exits 77 when the PostgreSQL server programs are not installed. The server
# refuses to run as root, so under root it runs as the postgres user (or
# nobody) and DIR is handed to that user.
set -eu
action=$1
dir=$2

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ] || [ ! -x "$bindir/pg_ctl" ]; then
  echo "PostgreSQL server programs not found" >&2
  exit 77
fi

run_as() {
  if [ "$(id -u)" = 0 ]; then
    runuser -u "$pguser" -- "$@"
  else
    "$@"
  fi
}

pguser=$(id -un)
if [ "$(id -u)" = 0 ]; then
  command -v runuser >/dev/null 2>&1 || { echo "runuser not found" >&2; exit 77; }
  if id postgres >/dev/null 2>&1; then pguser=postgres; else pguser=nobody; fi
fi

case "$action" in
start)
  port=$3
  mkdir -p "$dir"
  [ "$(id -u)" = 0 ] && chown "$pguser" "$dir"
  run_as "$bindir/initdb" -D "$dir/data" -A trust -U brolvin -E UTF8 --no-locale >"$dir/initdb.log" 2>&1
  run_as "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null
  ;;
stop)
  run_as "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  ;;
*)
  echo "usage: $0 start DIR PORT | stop DIR" >&2
  exit 2
  ;;
esac
