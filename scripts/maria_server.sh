#!/usr/bin/env bash
# A private MariaDB server for the tests, never the system service.
#   maria_server.sh start DIR   mariadb-install-db (once) into DIR/maria, start,
#                               add its variables to DIR/env.sh
#   maria_server.sh stop DIR    shut it down; nothing to do if it is not running
# It listens on its own socket and on a free loopback port. Root runs it as
# root (--user=root): the data directory is private to this run anyway.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

FIRST_PORT=33069
PORT_TRIES=100
MARIA_DB=vordex_test

usage() { vordex_die "usage: maria_server.sh start|stop DIR"; }

server_pid() {
    local pid
    pid=$(cat "$maria/server.pid" 2>/dev/null) || return 1
    [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null && printf '%s\n' "$pid"
}

client() { mariadb --no-defaults -S "$maria/socket" -uroot "$@"; }

stop_server() {
    local pid
    pid=$(server_pid) || return 0
    # A clean shutdown flushes its logs; give it a bounded time, then kill.
    vordex_stop_process "$pid" TERM 30 mariadbd
}

# Starts mariadbd on the given port; returns 1 when the port turned out to be
# taken, ends the script with the server log on any other failure.
try_start() {
    local port=$1 log=$maria/server.log before pid
    before=$(vordex_log_size "$log")
    # --no-defaults: the machine's own my.cnf files are not ours to read.
    mariadbd --no-defaults --user=root --datadir="$maria/data" --socket="$maria/socket" \
        --port="$port" --bind-address=127.0.0.1 --pid-file="$maria/server.pid" \
        --character-set-server=utf8mb4 --collation-server=utf8mb4_bin \
        --skip-log-bin --innodb-buffer-pool-size=32M --log-error="$log" </dev/null >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 600); do
        if client -e 'SELECT 1' >/dev/null 2>&1; then return 0; fi
        if ! kill -0 "$pid" 2>/dev/null; then
            vordex_start_failed "$log" "$before" "mariadbd did not start" || return 1
        fi
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    vordex_die_with_log "$log" "$before" "mariadbd did not answer within 60 s"
}

start_server() {
    mkdir -p -- "$maria"
    stop_server
    if [[ ! -d $maria/data/mysql ]]; then
        mariadb-install-db --no-defaults --user=root --datadir="$maria/data" \
            --auth-root-authentication-method=normal --skip-test-db >"$maria/install.log" 2>&1 ||
            { cat "$maria/install.log" >&2; vordex_die "mariadb-install-db failed"; }
    fi
    local started
    vordex_start_near_port "" "$FIRST_PORT" "$PORT_TRIES"
    started=$started_port
    client -e "CREATE DATABASE IF NOT EXISTS $MARIA_DB CHARACTER SET utf8mb4 COLLATE utf8mb4_bin"

    {
        vordex_env_line MARIA_PORT "$started"
        vordex_env_line MARIA_SOCKET "$maria/socket"
        vordex_env_line MARIA_DATABASE "$MARIA_DB"
    } | vordex_env_section "$dir" "# Private MariaDB server (scripts/maria_server.sh)"
    vordex_log "MariaDB running on 127.0.0.1:$started, data in $maria/data"
}

(($# == 2)) || usage
dir=$(vordex_abs_dir "$2")
maria=$dir/maria
case $1 in
start) start_server ;;
stop) stop_server ;;
*) usage ;;
esac
