#!/usr/bin/env bash
# A private three-node MariaDB Galera cluster on loopback for the tests.
#   galera.sh start DIR   with no node running: bootstrap node 1 in
#                         DIR/galera and join nodes 2 and 3 (rsync SST);
#                         with some running: the others join them again,
#                         from an empty data directory. Adds the nodes'
#                         ports to DIR/env.sh.
#   galera.sh stop DIR    shut every node down; nothing to do if none runs
# Three nodes, so that two keep a quorum when one dies. Each node has a
# client port P, its group port P+1000, IST port P+2000 and SST port
# P+3000. Root runs mariadbd as root, as maria_server.sh does; so does the
# rsync daemon of a state transfer (see start_cluster).
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

FIRST_PORT=36069
PORT_TRIES=100
NODES=(1 2 3)
GALERA_DB=vordex_test
# A node that died leaves the group within seconds (5 and 15 by default).
EVS="evs.suspect_timeout=PT3S;evs.inactive_timeout=PT6S"

usage() { vordex_die "usage: galera.sh start|stop DIR"; }

node_pid() {
    local pid
    pid=$(cat "$galera/node$1/server.pid" 2>/dev/null) || return 1
    [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null && printf '%s\n' "$pid"
}

client() { mariadb --no-defaults -S "$galera/node$1/socket" -uroot "${@:2}"; }

# The client port the node last started on.
node_port() { cat "$galera/node$1/port" 2>/dev/null; }

stop_node() {
    local pid
    pid=$(node_pid "$1") || return 0
    vordex_stop_process "$pid" TERM 30 "Galera node $1"
}

stop_cluster() {
    local node
    for node in "${NODES[@]}"; do stop_node "$node" & done
    wait
}

# The group addresses of the running nodes, for a joiner.
cluster_address() {
    local node port addresses=()
    for node in "${NODES[@]}"; do
        if node_pid "$node" >/dev/null && port=$(node_port "$node"); then
            addresses+=("127.0.0.1:$((port + 1000))")
        fi
    done
    local IFS=,
    printf 'gcomm://%s\n' "${addresses[*]}"
}

# Starts node $node on client port PORT (the others derived from it); with
# $bootstrap set it starts a new cluster, otherwise it joins $address.
# Returns 1 when a port turned out to be taken; ends the script with the
# node's log on any other failure. Done when the node is synced.
try_start() {
    local port=$1 home=$galera/node$node log pid before p provider wsrep=()
    for p in $((port + 1000)) $((port + 2000)) $((port + 3000)); do
        port_in_use "$p" && return 1
    done
    log=$home/server.log
    before=$(vordex_log_size "$log")
    if [[ -n $bootstrap ]]; then
        wsrep=(--wsrep-new-cluster --wsrep-cluster-address=gcomm://)
    else
        wsrep=(--wsrep-cluster-address="$address")
    fi
    provider="gmcast.listen_addr=tcp://127.0.0.1:$((port + 1000));ist.recv_addr=127.0.0.1:$((port + 2000))"
    provider+=";gcache.size=32M;$EVS"
    printf '%s\n' "$port" >"$home/port"
    # --no-defaults: the machine's own my.cnf files are not ours to read.
    mariadbd --no-defaults --user=root --basedir="$galera" --datadir="$home/data" --socket="$home/socket" \
        --port="$port" --bind-address=127.0.0.1 --pid-file="$home/server.pid" --log-error="$log" \
        --character-set-server=utf8mb4 --collation-server=utf8mb4_bin \
        --innodb-buffer-pool-size=32M --innodb-flush-log-at-trx-commit=2 \
        --binlog-format=ROW --innodb-autoinc-lock-mode=2 --default-storage-engine=InnoDB \
        --wsrep-on=ON --wsrep-provider=/usr/lib/galera/libgalera_smm.so --wsrep-cluster-name=vordex \
        --wsrep-node-name="node$node" --wsrep-node-address="127.0.0.1:$((port + 1000))" \
        --wsrep-node-incoming-address="127.0.0.1:$port" \
        --wsrep-provider-options="$provider" \
        --wsrep-sst-method=rsync --wsrep-sst-receive-address="127.0.0.1:$((port + 3000))" \
        "${wsrep[@]}" </dev/null >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 1200); do
        if [[ $(client "$node" -N -e "SHOW STATUS LIKE 'wsrep_local_state_comment'" 2>/dev/null) == *Synced ]]; then
            return 0
        fi
        if ! kill -0 "$pid" 2>/dev/null; then
            vordex_start_failed "$log" "$before" "Galera node $node did not start" || return 1
        fi
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    vordex_die_with_log "$log" "$before" "Galera node $node was not synced within 120 s"
}

start_node() {
    node=$1
    local home=$galera/node$1 previous
    previous=$(node_port "$node") || true
    if [[ -n $bootstrap ]]; then
        rm -rf -- "$home"
        mkdir -p -- "$home"
        mariadb-install-db --no-defaults --user=root --datadir="$home/data" \
            --auth-root-authentication-method=normal --skip-test-db >"$home/install.log" 2>&1 ||
            { cat "$home/install.log" >&2; vordex_die "mariadb-install-db failed"; }
    else
        # A joiner takes the whole state from a running node (SST).
        rm -rf -- "$home/data"
        mkdir -p -- "$home/data"
    fi
    # Each node has a range of its own.
    vordex_start_near_port "$previous" $((FIRST_PORT + (node - 1) * PORT_TRIES)) "$PORT_TRIES"
}

start_cluster() {
    if ! command -v mariadbd >/dev/null || ! command -v rsync >/dev/null ||
        [[ ! -f /usr/lib/galera/libgalera_smm.so ]]; then
        vordex_die "mariadbd, galera-4 or rsync is missing (scripts/install_deps.sh installs them)"
    fi
    mkdir -p -- "$galera/bin"
    # The SST script starts an rsync daemon on the joiner; started by root,
    # it would write the data directory as nobody, who cannot reach it. This
    # one stays root: mariadbd puts BASEDIR/bin first on its scripts' PATH.
    cat >"$galera/bin/rsync" <<'SH'
#!/bin/sh
case " $* " in
*" --daemon "*) exec /usr/bin/rsync --dparam=uid=root --dparam=gid=root "$@" ;;
esac
exec /usr/bin/rsync "$@"
SH
    chmod +x -- "$galera/bin/rsync"
    local n running=()
    for n in "${NODES[@]}"; do
        node_pid "$n" >/dev/null && running+=("$n")
    done
    bootstrap=""
    if ((${#running[@]} == 0)); then
        bootstrap=1
        start_node 1
        client 1 -e "CREATE DATABASE IF NOT EXISTS $GALERA_DB CHARACTER SET utf8mb4 COLLATE utf8mb4_bin"
        bootstrap=""
    fi
    for n in "${NODES[@]}"; do
        node_pid "$n" >/dev/null && continue
        address=$(cluster_address)
        start_node "$n"
    done
    local ports=()
    for n in "${NODES[@]}"; do ports+=("$(node_port "$n")"); done
    {
        vordex_env_line VORDEX_TEST_GALERA_PORTS "${ports[*]}"
        vordex_env_line VORDEX_TEST_GALERA_DIR "$galera"
        vordex_env_line VORDEX_TEST_GALERA_DRIVER \
            "DRIVER={MariaDB Unicode};Server=127.0.0.1;Port=${ports[0]};Database=$GALERA_DB;User=root;CHARSET=utf8mb4"
    } | vordex_env_section "$dir" "# Private MariaDB Galera cluster (scripts/galera.sh)"
    vordex_log "Galera cluster of three nodes on 127.0.0.1:${ports[*]}, data in $galera"
}

(($# == 2)) || usage
dir=$(vordex_abs_dir "$2")
galera=$dir/galera
case $1 in
start) start_cluster ;;
stop) stop_cluster ;;
*) usage ;;
esac
