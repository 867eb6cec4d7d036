#!/usr/bin/env bash
# The PostgreSQL fixture of the test suite.
#   scripts/pg_fixture.sh start FOLDER [DDL-PROGRAM LIBRARY...]
#   scripts/pg_fixture.sh stop FOLDER
# start: a throw-away cluster (scripts/pg.sh) on a free loopback port; FOLDER then holds
#   conninfo      the ODBC connection string of the database "ecm" (user ecm, password ecm)
#   port          the server's port
#   cluster-dir   where the cluster lives (FOLDER/cluster, or a folder under /tmp when the postgres
#                 system user cannot reach FOLDER, as under /root)
#   odbcinst.ini  the driver "PostgreSQL Unicode" with connection pooling; point ODBCSYSINI at FOLDER
#   odbc.ini      the data source "qorvena_ecm" for that database
# The role KOFAXREL (password "secret") may read and insert in every library made here or by
# tests/odbc/pg_support; each LIBRARY is created as a schema with the four ECM tables, from the statements DDL-PROGRAM prints.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
action=${1:-}
fix=$(realpath -m "${2:?usage: $0 start|stop FOLDER [DDL-PROGRAM LIBRARY...]}")
shift 2

reachable_by_server() {  # can the postgres system user reach a folder under $1?
  [ "$(id -u)" != 0 ] && return 0
  id postgres >/dev/null 2>&1 || return 1
  runuser -u postgres -- sh -c 'cd "$1"' _ "$1" 2>/dev/null
}

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

case "$action" in
  start)
    "$0" stop "$fix" || true  # a cluster left over from an interrupted run
    mkdir -p "$fix"
    rm -f "$fix/conninfo" "$fix/port" "$fix/cluster-dir"
    cluster="$fix/cluster"
    # Unix socket paths are limited to about 100 bytes.
    if ! reachable_by_server "$fix" || [ ${#cluster} -gt 70 ]; then
      cluster=$(mktemp -d /tmp/qorvena-pg.XXXXXX)
      chmod 755 "$cluster"
    fi
    echo "$cluster" >"$fix/cluster-dir"
    # A port derived from the folder, so parallel build folders rarely meet; the next one if it is taken.
    base=$((20000 + $(printf '%s' "$fix" | cksum | cut -d' ' -f1) % 30000))
    started=
    for offset in $(seq 0 40); do
      port=$((base + offset * 7))
      port_in_use "$port" && continue
      if "$here/pg.sh" start "$cluster" "$port" >"$fix/start.log" 2>&1; then
        started=1
        break
      fi
    done
    [ -n "$started" ] || { cat "$fix/start.log" >&2; echo "cannot start PostgreSQL" >&2; exit 1; }
    cp "$cluster/conninfo" "$cluster/port" "$fix/"
    cat >"$fix/odbcinst.ini" <<EOF
[ODBC]
Pooling=Yes

[PostgreSQL Unicode]
Description=PostgreSQL ODBC driver (Unicode version)
Driver=psqlodbcw.so
CPTimeout=120
CommLog=0
Debug=0
EOF
    cat >"$fix/odbc.ini" <<EOF
[qorvena_ecm]
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$port
Database=ecm
Protocol=7.4-1
EOF
    psql() {
      PGPASSWORD=ecm "$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)/psql" \
        -h 127.0.0.1 -p "$port" -U ecm -d ecm -q -v ON_ERROR_STOP=1 "$@" >/dev/null
    }
    # The user the documents are released with, as on the IBM i: it may read and insert, nothing more.
    psql -c "CREATE ROLE \"KOFAXREL\" LOGIN PASSWORD 'secret'"
    if [ $# -gt 0 ]; then
      ddl=$1
      shift
      for library in "$@"; do
        "$ddl" "$library" | psql -f -
        psql -c "GRANT USAGE ON SCHEMA $library TO \"KOFAXREL\"" \
          -c "GRANT SELECT, INSERT ON ALL TABLES IN SCHEMA $library TO \"KOFAXREL\""
      done
    fi
    ;;
  stop)
    [ -f "$fix/cluster-dir" ] || exit 0
    cluster=$(cat "$fix/cluster-dir")
    "$here/pg.sh" stop "$cluster"
    case "$cluster" in /tmp/qorvena-pg.*) rm -rf "$cluster" ;; esac
    rm -f "$fix/cluster-dir"
    ;;
  *)
    echo "usage: $0 start|stop FOLDER [DDL-PROGRAM LIBRARY...]" >&2
    exit 2
    ;;
esac
