#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests: scripts/pg.sh start|stop|resume|status DIR [PORT]
# initdb refuses to run as root, so as root the cluster belongs to the postgres system user.
# After start, DIR/conninfo holds an ODBC connection string for the database "ecm".
# stop keeps the data; resume starts the stopped cluster again on its port (a server restart).
set -euo pipefail
action=$1
dir=$(realpath -m "$2")
port=${3:-$(cat "$dir/port" 2>/dev/null || echo 55432)}
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -x "$bin/initdb" ] || { echo "PostgreSQL server binaries not found" >&2; exit 1; }

as_owner() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "$action" in
  start)
    if [ -f "$dir/data/postmaster.pid" ] && as_owner "$bin/pg_ctl" -D "$dir/data" status >/dev/null 2>&1; then
      exit 0
    fi
    rm -rf "$dir"
    mkdir -p "$dir/data" "$dir/run"
    [ "$(id -u)" = 0 ] && chown -R postgres:postgres "$dir"
    echo ecm >"$dir/pwfile"
    [ "$(id -u)" = 0 ] && chown postgres:postgres "$dir/pwfile"
    # Password checks on TCP, so wrong credentials fail as they would on a real server.
    as_owner "$bin/initdb" -D "$dir/data" -U ecm --pwfile="$dir/pwfile" --auth-local=trust \
      --auth-host=scram-sha-256 -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
      -o "-h 127.0.0.1 -p $port -k $dir/run ${PG_SERVER_OPTIONS:--c fsync=off -c full_page_writes=off}" start >/dev/null
    PGPASSWORD=ecm as_owner "$bin/psql" -h 127.0.0.1 -p "$port" -U ecm -d postgres -qc "CREATE DATABASE ecm" >/dev/null
    echo "Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=$port;Database=ecm;Uid=ecm;Pwd=ecm;Protocol=7.4-1;" >"$dir/conninfo"
    echo "$port" >"$dir/port"
    chmod -R a+rX "$dir/conninfo" "$dir/port"
    ;;
  resume)
    [ -f "$dir/data/PG_VERSION" ] || { echo "no cluster in $dir" >&2; exit 1; }
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
      -o "-h 127.0.0.1 -p $port -k $dir/run ${PG_SERVER_OPTIONS:--c fsync=off -c full_page_writes=off}" start >/dev/null
    ;;
  stop)
    [ -d "$dir/data" ] && as_owner "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null 2>&1 || true
    ;;
  status)
    as_owner "$bin/pg_ctl" -D "$dir/data" status
    ;;
  *)
    echo "usage: $0 start|stop|resume|status DIR [PORT]" >&2
    exit 2
    ;;
esac
