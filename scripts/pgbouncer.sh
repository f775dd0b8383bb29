#!/usr/bin/env bash
# A private PgBouncer in front of the private PostgreSQL cluster, never the
# system service: transaction pooling, and session pooling for the user
# vordex_session (a superuser it makes, so that the tests' tables are its).
#   pgbouncer.sh start DIR   configure DIR/pgbouncer, start it on a free
#                            loopback port, add its variables to DIR/env.sh
#   pgbouncer.sh stop DIR    shut it down; nothing to do if it is not running
# Run after `pg_cluster.sh start DIR` (it needs PGPORT). Two server
# connections serve every client, as a busy pool does: a client that kept
# one between its statements would keep the others waiting. A waiting query
# fails after 60 s, later than the library's own bound (20 s), rather than
# hanging a test. PgBouncer refuses to
# run as root; it runs as postgres, as the cluster does.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

FIRST_PORT=64329
PORT_TRIES=100
SESSION_USER=vordex_session

usage() { vordex_die "usage: pgbouncer.sh start|stop DIR"; }

bouncer_pid() {
    local pid
    pid=$(cat "$pool/pgbouncer.pid" 2>/dev/null) || return 1
    [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null && printf '%s\n' "$pid"
}

stop_bouncer() {
    local pid
    pid=$(bouncer_pid) || return 0
    vordex_stop_process "$pid" INT 10 PgBouncer
}

# Starts PgBouncer on the given port; returns 1 when the port turned out to
# be taken, ends the script with its log on any other failure.
try_start() {
    local port=$1 log=$pool/pgbouncer.log before
    before=$(vordex_log_size "$log")
    vordex_as_postgres tee "$pool/pgbouncer.ini" >/dev/null <<INI
[databases]
* = host=127.0.0.1 port=$PGPORT

[users]
$SESSION_USER = pool_mode=session

[pgbouncer]
listen_addr = 127.0.0.1
listen_port = $port
unix_socket_dir =
auth_type = trust
auth_file = $pool/userlist.txt
admin_users = postgres
pool_mode = transaction
default_pool_size = 2
max_client_conn = 200
query_wait_timeout = 60
ignore_startup_parameters = extra_float_digits,options
logfile = $log
pidfile = $pool/pgbouncer.pid
INI
    # Its log is its own to write: postgres makes it.
    vordex_as_postgres touch "$log"
    local said
    said=$(vordex_as_postgres pgbouncer -d -q "$pool/pgbouncer.ini" 2>&1) || true
    for _ in $(seq 100); do
        # Its admin console: no other kind of server on the port answers it.
        if bouncer_pid >/dev/null && psql -X -q -h 127.0.0.1 -p "$port" -U postgres -d pgbouncer -c 'SHOW VERSION' \
            >/dev/null 2>&1; then
            return 0
        fi
        if ! bouncer_pid >/dev/null; then
            printf '%s\n' "$said" >&2
            vordex_start_failed "$log" "$before" "pgbouncer did not start" || return 1
        fi
        sleep 0.1
    done
    vordex_die_with_log "$log" "$before" "pgbouncer did not answer within 10 s"
}

start_bouncer() {
    vordex_cluster_env "$dir"
    command -v pgbouncer >/dev/null || vordex_die "pgbouncer is not installed (scripts/install_deps.sh installs it)"
    vordex_as_postgres mkdir -p "$pool"
    stop_bouncer
    psql -X -q -v ON_ERROR_STOP=1 -d "$PGDATABASE" -c "DO \$\$ BEGIN CREATE ROLE $SESSION_USER LOGIN SUPERUSER;
        EXCEPTION WHEN duplicate_object THEN NULL; END \$\$" >/dev/null
    printf '"%s" ""\n"%s" ""\n"postgres" ""\n' "$PGUSER" "$SESSION_USER" | vordex_as_postgres tee "$pool/userlist.txt" >/dev/null
    vordex_start_near_port "" "$FIRST_PORT" "$PORT_TRIES"
    local started=$started_port
    {
        vordex_env_line VORDEX_TEST_POOL_PORT "$started"
        vordex_env_line VORDEX_TEST_SESSION_POOL_USER "$SESSION_USER"
        vordex_env_line VORDEX_TEST_POOL_DRIVER \
            "DRIVER={PostgreSQL ANSI};Servername=127.0.0.1;Port=$started;Database=$PGDATABASE;Username=$PGUSER"
    } | vordex_env_section "$dir" "# Private PgBouncer (scripts/pgbouncer.sh)"
    vordex_log "PgBouncer on 127.0.0.1:$started (transaction pooling; session pooling for $SESSION_USER)"
}

(($# == 2)) || usage
dir=$(vordex_abs_dir "$2")
pool=$dir/pgbouncer
case $1 in
start) start_bouncer ;;
stop) stop_bouncer ;;
*) usage ;;
esac
