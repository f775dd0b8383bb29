# shellcheck shell=bash
# Helpers shared by the scripts in this directory. Source it; it does nothing
# on its own.

VORDEX_SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck disable=SC2034 # used by the scripts that source this file
PG_BIN=/usr/lib/postgresql/15/bin

vordex_log() { printf '%s: %s\n' "${0##*/}" "$*" >&2; }
vordex_die() { vordex_log "$*"; exit 1; }

# The demo and the tests install Debian packages and run PostgreSQL as the
# postgres user: both need root. Say so before anything else happens.
vordex_require_root() {
    ((EUID == 0)) || vordex_die "needs root: it installs the Debian packages it uses with apt-get and runs" \
        "a private PostgreSQL cluster as the postgres user. Run it as root (for example with sudo)."
}

# Paths end up unquoted in ini files, connect strings and postgres' command
# line, so only plain characters are allowed in them.
vordex_abs_dir() {
    local dir
    dir=$(realpath -m -- "$1")
    [[ $dir =~ ^[A-Za-z0-9/._+-]+$ ]] ||
        vordex_die "directory '$dir' has characters the ini files cannot carry"
    printf '%s\n' "$dir"
}

# Runs a command as postgres in the calling script's $dir, with a clean
# environment: the private PostgreSQL servers and poolers run so.
vordex_as_postgres() {
    # shellcheck disable=SC2154 # $dir is the calling script's
    (cd "$dir" && runuser -u postgres -- env -i PATH=/usr/sbin:/usr/bin:/bin HOME="$dir" "$@")
}

# The bytes LOG holds now (0 when there is none): where a start's lines begin.
vordex_log_size() { stat -c %s "$1" 2>/dev/null || echo 0; }

# Ends the script with MESSAGE, after the lines LOG gained past byte BEFORE.
vordex_die_with_log() {
    local log=$1 before=$2 message=$3
    tail -c "+$((before + 1))" "$log" >&2 || true
    vordex_die "$message (log: $log)"
}

# After a server that was starting ended: returns 1 (a try_start's "the port
# turned out to be taken") when the lines LOG gained past byte BEFORE say
# so; otherwise ends the script with them and MESSAGE.
vordex_start_failed() {
    tail -c "+$(($2 + 1))" "$1" | grep -q 'Address already in use' && return 1
    vordex_die_with_log "$@"
}

# Starts postgres on the data directory DATA, with its socket in SOCKET_DIR,
# on PORT, logging to LOG. Returns 1 when the port turned out to be taken
# (another process may bind it between the check and the start); any other
# failure ends the script with the new lines of the log, naming WHAT.
vordex_pg_start() {
    local data=$1 socket=$2 port=$3 log=$4 what=$5 before output
    before=$(vordex_log_size "$log")
    if output=$(vordex_as_postgres "$PG_BIN/pg_ctl" -w -t 120 -D "$data" \
        -o "-k $socket -p $port -c listen_addresses=127.0.0.1" -l "$log" start 2>&1); then
        return 0
    fi
    tail -c "+$((before + 1))" "$log" | grep -q 'Address already in use' && return 1
    printf '%s\n' "$output" >&2
    vordex_die_with_log "$log" "$before" "$what did not start"
}

# True when something listens on the loopback TCP port.
port_in_use() {
    if command -v ss >/dev/null; then
        [[ -n $(ss -Hltn "sport = :$1") ]]
    else
        (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
    fi
}

# Starts a server on the first of the given ports that is free, through the
# caller's `try_start PORT` (0: started, 1: the port turned out to be taken;
# any other failure ends the script). Sets started_port.
vordex_start_on_free_port() {
    local port
    # shellcheck disable=SC2034 # read by the caller
    started_port=""
    for port in "$@"; do
        port_in_use "$port" && continue
        if try_start "$port"; then
            # shellcheck disable=SC2034
            started_port=$port
            return 0
        fi
    done
    vordex_die "no free port among $1..${!#}"
}

# Sends SIGNAL to PID, the server WHAT, and waits up to SECONDS for it to
# end; then kills it, or with "group" its whole process group.
vordex_stop_process() {
    local pid=$1 signal=$2 seconds=$3 what=$4 target=$1
    [[ ${5:-} == group ]] && target=-$1
    kill "-$signal" "$pid" 2>/dev/null || return 0
    for _ in $(seq $((seconds * 10))); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    vordex_log "$what ($pid) did not stop within $seconds s; killing it"
    kill -KILL -- "$target" 2>/dev/null || true
}

# Starts a server (vordex_start_on_free_port) on PREVIOUS, the port of an
# earlier run, when it is given and still free, so that files written for it
# stay valid; else on the first free port of FIRST .. FIRST+TRIES-1.
vordex_start_near_port() {
    local previous=$1 first=$2 tries=$3
    # shellcheck disable=SC2046 # the ports, a word each
    vordex_start_on_free_port ${previous:+"$previous"} $(seq "$first" $((first + tries - 1)))
}

# Exports the settings of the private cluster in DIR (its env.sh), which the
# servers in front of it and beside it need.
vordex_cluster_env() {
    [[ -f $1/env.sh ]] || vordex_die "$1/env.sh missing; run pg_cluster.sh start $1 first"
    # shellcheck source=/dev/null
    source "$1/env.sh"
}

# The value that DIR/env.sh exports as VARIABLE, or nothing.
vordex_env_value() {
    [[ -f $1/env.sh ]] && sed -n "s/^export $2='\(.*\)'\$/\1/p" "$1/env.sh"
    return 0
}

# "N passed, N failed", plus ", N skipped" when any skipped.
vordex_counts() {
    printf '%s passed, %s failed' "$1" "$2"
    (($3 == 0)) || printf ', %s skipped' "$3"
    printf '\n'
}

# One line of env.sh. Values are single-quoted so connect strings with braces
# and semicolons survive sourcing.
vordex_env_line() {
    [[ $2 != *"'"* ]] || vordex_die "value of $1 contains a single quote"
    printf "export %s='%s'\n" "$1" "$2"
}

# Writes the section of DIR/env.sh that starts with MARKER (a line "# Private
# ...") as MARKER and the lines on standard input, in place of the one an
# earlier run wrote: the other scripts' sections stay as they were.
vordex_env_section() {
    local dir=$1 marker=$2 lines
    lines=$(cat)
    {
        if [[ -f $dir/env.sh ]]; then
            awk -v m="$marker" '$0 == m { skip = 1; next } skip && /^# Private / { skip = 0 } !skip { print }' \
                "$dir/env.sh"
        fi
        printf '%s\n%s\n' "$marker" "$lines"
    } >"$dir/env.sh.new"
    mv -- "$dir/env.sh.new" "$dir/env.sh"
}

# Starts a private cluster plus ODBC files in a fresh temporary directory,
# exports its environment into the calling shell and tears everything down
# when that shell exits, whether it succeeds, fails or is interrupted. With
# the argument "maria", a private MariaDB server starts beside the cluster;
# with "pooler", a private PgBouncer in front of it; with "standby", a hot
# standby of it; with "galera", a private three-node MariaDB Galera cluster.
# With "pgpool", a private pgpool-II in front of the cluster.
vordex_private_cluster() {
    VORDEX_TMP=$(mktemp -d /tmp/vordex-test.XXXXXX)
    trap vordex_private_cluster_down EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    bash "$VORDEX_SCRIPTS/pg_cluster.sh" start "$VORDEX_TMP"
    local server
    for server in "$@"; do
        case $server in
        maria) bash "$VORDEX_SCRIPTS/maria_server.sh" start "$VORDEX_TMP" ;;
        pooler) bash "$VORDEX_SCRIPTS/pgbouncer.sh" start "$VORDEX_TMP" ;;
        pgpool) bash "$VORDEX_SCRIPTS/pgpool.sh" start "$VORDEX_TMP" ;;
        standby) bash "$VORDEX_SCRIPTS/pg_standby.sh" start "$VORDEX_TMP" ;;
        galera) bash "$VORDEX_SCRIPTS/galera.sh" start "$VORDEX_TMP" ;;
        *) vordex_die "vordex_private_cluster: unknown server $server" ;;
        esac
    done
    bash "$VORDEX_SCRIPTS/odbc_config.sh" "$VORDEX_TMP"
    # shellcheck source=/dev/null
    source "$VORDEX_TMP/env.sh"
}

# EXIT trap: must not change the exit status, so nothing here may fail.
vordex_private_cluster_down() {
    [[ -n ${VORDEX_TMP:-} && -d $VORDEX_TMP ]] || return 0
    bash "$VORDEX_SCRIPTS/pgbouncer.sh" stop "$VORDEX_TMP" || true
    bash "$VORDEX_SCRIPTS/pgpool.sh" stop "$VORDEX_TMP" || true
    bash "$VORDEX_SCRIPTS/maria_server.sh" stop "$VORDEX_TMP" || true
    bash "$VORDEX_SCRIPTS/galera.sh" stop "$VORDEX_TMP" || true
    bash "$VORDEX_SCRIPTS/pg_standby.sh" stop "$VORDEX_TMP" || true
    if ! bash "$VORDEX_SCRIPTS/pg_cluster.sh" stop "$VORDEX_TMP"; then
        vordex_log "could not stop the cluster in $VORDEX_TMP; left in place"
        return 0
    fi
    rm -rf -- "$VORDEX_TMP" || true
}
