#!/usr/bin/env bash
# The read benchmark on large tables, in psqlODBC's block reading (the
# library's default: UseDeclareFetch=1;Fetch=10000) and reading the whole
# result at once (UseDeclareFetch=0, psqlODBC's own default):
#   bash bench/large.sh [--sizes 10000,100000,1000000] [--repetitions N] [--cluster DIR]
# builds libvordex and the benchmark (RelWithDebInfo, in build-bench), starts a
# throw-away PostgreSQL cluster and creates one table per size: the columns of
# bench_rows.sql with a plain integer key instead of a serial one, so that
# psqlODBC grants a static cursor in both modes. For every size and mode it runs, each time in a fresh
# process, VORDEX_Open + VORDEX_OpenRec + a VORDEX_ListText walk, and the same
# read through ODBC calls made by hand with the cursor options the library
# asks for (odbc-library: psqlODBC's static cursor), 3 rounds by default after
# a warm-up, and prints one table. The library's walk CPU is set against that
# of odbc-library within each round.
# With --cluster DIR it uses the cluster already running in DIR (started with
# scripts/pg_cluster.sh and scripts/odbc_config.sh) and keeps the tables there,
# so a second run skips creating them.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
# shellcheck source-path=SCRIPTDIR source=common.sh
source "$VORDEX_SCRIPTS/../bench/common.sh"
cd "$VORDEX_SCRIPTS/.."

WHOLE_MODE_OPTIONS=';UseDeclareFetch=0'

usage() { vordex_die "usage: bench/large.sh [--sizes N,N...] [--repetitions N] [--cluster DIR]"; }

sizes=10000,100000,1000000
repetitions=3
cluster=
while (($# > 0)); do
    case $1 in
    --sizes) sizes=${2:?}; shift 2 ;;
    --repetitions) repetitions=${2:?}; shift 2 ;;
    --cluster) cluster=${2:?}; shift 2 ;;
    *) usage ;;
    esac
done
IFS=, read -r -a size_list <<<"$sizes"
((${#size_list[@]} > 0)) || vordex_die "--sizes wants at least one size"
for size in "${size_list[@]}"; do
    [[ $size =~ ^[1-9][0-9]*$ ]] || vordex_die "--sizes wants positive numbers separated by commas"
done
[[ $repetitions =~ ^[1-9][0-9]*$ ]] || vordex_die "--repetitions wants a positive number"
vordex_require_root

large_table() { printf 'bench_large_%s\n' "$1"; }

# Creates the table of $1 rows unless it is there already with that many
# rows (only a kept cluster has it).
create_large_table() {
    local rows=$1 table present
    table=$(large_table "$rows")
    local psql_cmd=(psql -X -q -v ON_ERROR_STOP=1 -d "$BENCH_LARGE_DB")
    present=$("${psql_cmd[@]}" -At -c "SELECT to_regclass('$table') IS NOT NULL")
    if [[ $present == t ]] && [[ $("${psql_cmd[@]}" -At -c "SELECT count(*) FROM $table") == "$rows" ]]; then
        vordex_log "keeping $table"
        return
    fi
    vordex_log "creating $table ($rows rows)"
    "${psql_cmd[@]}" -v rows="$rows" -v table="$table" -v key_type=integer -f bench/bench_rows.sql
}

bench_build
if [[ -n $cluster ]]; then
    [[ -f $cluster/env.sh ]] || vordex_die "$cluster/env.sh missing: start the cluster with scripts/pg_cluster.sh first"
    # shellcheck source=/dev/null
    source "$cluster/env.sh"
    [[ -n ${ODBCSYSINI:-} ]] || vordex_die "no ODBC configuration in $cluster: run scripts/odbc_config.sh $cluster"
else
    vordex_private_cluster
fi
if [[ $(psql -X -At -c "SELECT 1 FROM pg_database WHERE datname = '$BENCH_LARGE_DB'") != 1 ]]; then
    psql -X -q -v ON_ERROR_STOP=1 -c "CREATE DATABASE $BENCH_LARGE_DB"
fi
for size in "${size_list[@]}"; do create_large_table "$size"; done

report=$(mktemp)
trap 'rm -f -- "$report"; vordex_private_cluster_down' EXIT
first=1
for size in "${size_list[@]}"; do
    for mode in blocks whole; do
        connect=$(bench_connect "$BENCH_LARGE_DB")
        [[ $mode == whole ]] && connect=$(bench_connect "$BENCH_LARGE_DB" "$WHOLE_MODE_OPTIONS")
        vordex_log "$size rows, $mode mode"
        output=$(VORDEX_DIALOG=stderr "$BENCH_BUILD/bench/vordex_read_bench" --library "$BENCH_BUILD/libvordex.so.2" \
            --data "$connect" --table "$(large_table "$size")" --cases lib-listtext,odbc-library \
            --label "$mode" --repetitions "$repetitions")
        # The header once, then the case lines of every run.
        if ((first)); then
            head -n 2 <<<"$output" >>"$report"
            first=0
        fi
        tail -n +3 <<<"$output" >>"$report"
    done
done

printf '\nVORDEX read benchmark, large tables: medians of %d runs, each in a fresh process\n' "$repetitions"
printf 'blocks = the connect string + %s (the library default), whole = + %s\n\n' "$BENCH_PG_BLOCKS" \
    "$WHOLE_MODE_OPTIONS"
cat -- "$report"
cat <<'EOF'

open      = VORDEX_Open (connects, lists the columns) / connect + SQLColumns by hand
first row = VORDEX_OpenRec (executes, fetches the first row) / prepare, execute, bind, first fetch
walk      = every further row: VORDEX_ListText + VORDEX_MoveNext / SQLExtendedFetch + the same fix-up
peak RSS  = the process's peak resident memory (getrusage of the child); CPU = user + system
EOF
