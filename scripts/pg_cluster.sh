#!/usr/bin/env bash
# A private PostgreSQL 15 cluster for the tests, never the system service.
#   pg_cluster.sh start DIR   initdb (once) into DIR/data, start, write DIR/env.sh
#   pg_cluster.sh stop DIR    fast shutdown; nothing to do if it is not running
#   pg_cluster.sh restart DIR fast shutdown and start again on the same port
# Root may run this: initdb and postgres refuse root, so they run as the
# `postgres` user, which therefore owns DIR.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

FIRST_PORT=54329
PORT_TRIES=100
PG_ROLE=vordex
PG_DB=vordex_test

usage() { vordex_die "usage: pg_cluster.sh start|stop|restart DIR"; }

# Runs a PostgreSQL tool as `postgres` from inside DIR, with a clean
# environment so the caller's PG* variables (say, from another cluster's
# env.sh) cannot steer it.
is_running() {
    [[ -d $dir/data ]] && vordex_as_postgres "$PG_BIN/pg_ctl" status -D "$dir/data" >/dev/null 2>&1
}

stop_cluster() {
    if is_running; then
        vordex_as_postgres "$PG_BIN/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
    fi
}

cluster_locale() {
    # glibc names it C.utf8; initdb accepts either spelling.
    if [[ $(LC_ALL=C.UTF-8 locale charmap 2>/dev/null) == UTF-8 ]]; then
        echo C.UTF-8
    else
        echo C
    fi
}

# Starts postgres on the given port. Returns 1 only when the port turned out
# to be taken (another process may bind it between the check and the start);
# any other failure ends the script with the server log.
try_start() { vordex_pg_start "$dir/data" "$dir/socket" "$1" "$dir/server.log" postgres; }

start_cluster() {
    mkdir -p -- "$dir"
    chown postgres: -- "$dir"
    # A root-only parent directory (say, under /root) would stop postgres.
    vordex_as_postgres test -w "$dir" ||
        vordex_die "user postgres cannot write to $dir; use a directory it can reach (e.g. under /tmp)"

    stop_cluster

    if [[ ! -f $dir/data/PG_VERSION ]]; then
        vordex_as_postgres "$PG_BIN/initdb" -D "$dir/data" --auth=trust -U postgres \
            -E UTF8 --locale="$(cluster_locale)" >"$dir/initdb.log" 2>&1 ||
            { cat "$dir/initdb.log" >&2; vordex_die "initdb failed"; }
    fi
    vordex_as_postgres mkdir -p "$dir/socket"

    # On a restart, keep the previous port when it is still free so that ODBC
    # files written for it stay valid.
    vordex_start_near_port "$(vordex_env_value "$dir" PGPORT)" "$FIRST_PORT" "$PORT_TRIES"
    local started=$started_port

    # Idempotent, so a restarted cluster keeps its role and database.
    "$PG_BIN/psql" -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$started" \
        -U postgres -d postgres >/dev/null <<SQL
SELECT 'CREATE ROLE $PG_ROLE SUPERUSER LOGIN'
 WHERE NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '$PG_ROLE')\gexec
SELECT 'CREATE DATABASE $PG_DB OWNER $PG_ROLE'
 WHERE NOT EXISTS (SELECT FROM pg_database WHERE datname = '$PG_DB')\gexec
SQL

    # Written whole: odbc_config.sh appends its part afterwards.
    {
        echo "# Private PostgreSQL cluster in $dir (scripts/pg_cluster.sh)"
        vordex_env_line PGHOST 127.0.0.1
        vordex_env_line PGPORT "$started"
        vordex_env_line PGUSER "$PG_ROLE"
        vordex_env_line PGDATABASE "$PG_DB"
        vordex_env_line VORDEX_PG_DIR "$dir"
    } >"$dir/env.sh.new"
    mv -- "$dir/env.sh.new" "$dir/env.sh"
    vordex_log "PostgreSQL running on 127.0.0.1:$started, data in $dir/data"
}

# pg_ctl restarts with the options the server was started with (port, socket).
restart_cluster() {
    is_running || vordex_die "no cluster is running in $dir"
    vordex_as_postgres "$PG_BIN/pg_ctl" -D "$dir/data" -m fast -w -t 120 -l "$dir/server.log" restart >/dev/null
}

(($# == 2)) || usage
dir=$(vordex_abs_dir "$2")
case $1 in
start) start_cluster ;;
stop) stop_cluster ;;
restart) restart_cluster ;;
*) usage ;;
esac
