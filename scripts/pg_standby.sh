#!/usr/bin/env bash
# A hot standby of the private PostgreSQL cluster, streaming its WAL.
#   pg_standby.sh start DIR    copy the cluster pg_cluster.sh runs in DIR with
#                              pg_basebackup into DIR/standby, start it on a
#                              free loopback port, add its variables to
#                              DIR/env.sh; a standby promoted since is copied
#                              anew, so start brings back a standby
#   pg_standby.sh promote DIR  make it a primary of its own (pg_ctl promote)
#   pg_standby.sh stop DIR     fast shutdown; nothing to do if it is not running
# Like the cluster it runs as the `postgres` user.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

FIRST_PORT=55329
PORT_TRIES=100

usage() { vordex_die "usage: pg_standby.sh start|promote|stop DIR"; }

is_running() {
    [[ -d $data ]] && vordex_as_postgres "$PG_BIN/pg_ctl" status -D "$data" >/dev/null 2>&1
}

stop_standby() {
    if is_running; then
        vordex_as_postgres "$PG_BIN/pg_ctl" -D "$data" -m fast -w stop >/dev/null
    fi
}

# pg_ctl -w returns once the standby takes read-only connections.
try_start() { vordex_pg_start "$data" "$standby/socket" "$1" "$standby/server.log" "the standby"; }

start_standby() {
    vordex_cluster_env "$dir"
    : "${PGPORT:?PGPORT not set by $dir/env.sh}"
    stop_standby
    # A standby has its signal file until it is promoted; anything else is
    # copied anew (PostgreSQL 15's default wal_level, max_wal_senders and the
    # replication lines initdb writes to pg_hba.conf let it stream).
    if [[ ! -f $data/standby.signal ]]; then
        rm -rf -- "$standby"
        vordex_as_postgres mkdir -p "$standby/socket"
        vordex_as_postgres "$PG_BIN/pg_basebackup" -h 127.0.0.1 -p "$PGPORT" -U postgres -D "$data" \
            -R -X stream -c fast >"$standby/basebackup.log" 2>&1 ||
            { cat "$standby/basebackup.log" >&2; vordex_die "pg_basebackup from 127.0.0.1:$PGPORT failed"; }
    fi

    vordex_start_near_port "$(vordex_env_value "$dir" VORDEX_TEST_STANDBY_PORT)" "$FIRST_PORT" "$PORT_TRIES"
    local started=$started_port
    {
        vordex_env_line VORDEX_TEST_STANDBY_PORT "$started"
        vordex_env_line VORDEX_TEST_STANDBY_DRIVER \
            "DRIVER={PostgreSQL ANSI};Servername=127.0.0.1;Port=$started;Database=$PGDATABASE;Username=$PGUSER"
    } | vordex_env_section "$dir" "# Private PostgreSQL hot standby (scripts/pg_standby.sh)"
    vordex_log "PostgreSQL standby of 127.0.0.1:$PGPORT running on 127.0.0.1:$started"
}

promote_standby() {
    is_running || vordex_die "no standby is running in $standby"
    vordex_as_postgres "$PG_BIN/pg_ctl" -D "$data" -w -t 60 promote >/dev/null
}

(($# == 2)) || usage
dir=$(vordex_abs_dir "$2")
standby=$dir/standby
data=$standby/data
case $1 in
start) start_standby ;;
promote) promote_standby ;;
stop) stop_standby ;;
*) usage ;;
esac
