#!/usr/bin/env bash
# A private pgpool-II in front of the private PostgreSQL cluster, never the
# system service: connection pooling to one backend, nothing else (raw
# mode: no replication, no load balancing, no health checks, no watchdog,
# no failover), clients trusted as the cluster trusts them.
#   pgpool.sh start DIR   configure DIR/pgpool, start it on a free loopback
#                         port, add its variables to DIR/env.sh
#   pgpool.sh stop DIR    shut it down; nothing to do if it is not running
# Run after `pg_cluster.sh start DIR` (it needs PGPORT). Four children serve
# one client each and keep its server connection for as long as that client
# stays: a fifth client waits for one to come free. Everything it writes
# (pid, sockets, status, log) stays in DIR/pgpool and its PCP port listens
# on a socket there only, so a system pgpool2 service (its package may start
# one) and this one never meet. It runs as postgres, as the cluster does.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

FIRST_PORT=63329
PORT_TRIES=100

usage() { vordex_die "usage: pgpool.sh start|stop DIR"; }

pgpool_pid() {
    local pid
    # pgpool ends the number with a NUL byte.
    pid=$(tr -d '\0' 2>/dev/null <"$pool/pgpool.pid") || return 1
    [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null && printf '%s\n' "$pid"
}

# Fast shutdown: the children end with their clients' sessions. pgpool
# leads a process group of its own: a pgpool that will not end ends with
# its children.
stop_pgpool() {
    local pid
    pid=$(pgpool_pid) || return 0
    vordex_stop_process "$pid" INT 10 pgpool-II group
}

# Starts pgpool on the given port; returns 1 when the port turned out to be
# taken, ends the script with its log on any other failure.
try_start() {
    local port=$1 log=$pool/pgpool.log before
    before=$(vordex_log_size "$log")
    vordex_as_postgres tee "$pool/pgpool.conf" >/dev/null <<CONF
backend_clustering_mode = 'raw'
listen_addresses = '127.0.0.1'
port = $port
socket_dir = '$pool'
pcp_listen_addresses = ''
pcp_socket_dir = '$pool'
wd_ipc_socket_dir = '$pool'
pid_file_name = '$pool/pgpool.pid'
logdir = '$pool'

backend_hostname0 = '127.0.0.1'
backend_port0 = $PGPORT
backend_weight0 = 1
backend_flag0 = 'DISALLOW_TO_FAILOVER'

enable_pool_hba = off
pool_passwd = ''
num_init_children = 4
max_pool = 2
connection_cache = on
load_balance_mode = off
health_check_period = 0
sr_check_period = 0
failover_on_backend_error = off
use_watchdog = off
memory_cache_enabled = off
enable_shared_relcache = off
memqcache_oiddir = '$pool/oiddir'
memqcache_total_size = 1MB
memqcache_max_num_cache = 1000

log_destination = 'stderr'
CONF
    # Its log and PCP users are its own: postgres makes them.
    vordex_as_postgres touch "$log" "$pool/pcp.conf"
    # pgpool refuses to start beside a pid file, even one whose process is
    # gone (a start that failed leaves one); none of this DIR's runs.
    rm -f -- "$pool/pgpool.pid"
    # Not detached, in a session of its own, writing to its log: as a daemon
    # it writes its messages nowhere, and its own log collector hangs the
    # server when it fails to start. setpriv, unlike runuser, leaves no
    # process of root's waiting for it: the process started is pgpool.
    (cd "$pool" && exec setpriv --reuid=postgres --regid=postgres --init-groups \
        env -i PATH=/usr/sbin:/usr/bin:/bin HOME="$dir" \
        setsid pgpool -n -D -f "$pool/pgpool.conf" -F "$pool/pcp.conf") </dev/null >>"$log" 2>&1 &
    local launched=$! deadline=$((SECONDS + 10))
    # Asked through its socket in DIR/pgpool, which no other server makes: a
    # server that holds the port already cannot answer for it. Its children,
    # which answer, start once both sockets are bound.
    while ((SECONDS < deadline)); do
        if PGCONNECT_TIMEOUT=2 psql -X -q -h "$pool" -p "$port" -U "$PGUSER" -d "$PGDATABASE" \
            -c 'SELECT 1' >/dev/null 2>&1; then
            return 0
        fi
        if ! kill -0 "$launched" 2>/dev/null; then
            vordex_start_failed "$log" "$before" "pgpool did not start" || return 1
        fi
        sleep 0.1
    done
    stop_pgpool
    vordex_die_with_log "$log" "$before" "pgpool did not answer within 10 s"
}

start_pgpool() {
    vordex_cluster_env "$dir"
    command -v pgpool >/dev/null || vordex_die "pgpool is not installed (scripts/install_deps.sh installs it)"
    vordex_as_postgres mkdir -p "$pool"
    stop_pgpool
    vordex_start_near_port "" "$FIRST_PORT" "$PORT_TRIES"
    local started=$started_port
    vordex_env_line VORDEX_TEST_PGPOOL_PORT "$started" |
        vordex_env_section "$dir" "# Private pgpool-II (scripts/pgpool.sh)"
    vordex_log "pgpool-II on 127.0.0.1:$started (connection pooling to 127.0.0.1:$PGPORT)"
}

(($# == 2)) || usage
dir=$(vordex_abs_dir "$2")
pool=$dir/pgpool
case $1 in
start) start_pgpool ;;
stop) stop_pgpool ;;
*) usage ;;
esac
