#!/usr/bin/env bash
# The read benchmark through each ODBC driver the library reads with:
#   bash bench/drivers.sh [--rows N] [--profile-rows N] [--repetitions N] [--drivers pg,sqlite,mariadb]
# builds libvordex and the benchmark (RelWithDebInfo, in build-bench), starts
# a throw-away PostgreSQL cluster and MariaDB server, creates the benchmark
# table in PostgreSQL (bench_rows.sql) and copies its rows into a SQLite file
# and into MariaDB (bench_rows_export.sql), so that every driver reads the
# same values. For each driver it then runs two reads of the table:
#   A  lib-listtext   VORDEX_Open, VORDEX_OpenRec, then VORDEX_ListText and
#                     VORDEX_MoveNext per row
#   B  odbc-library   the same ODBC calls made by hand, with the cursor and
#                     concurrency the library asks that driver for
# first under callgrind on a table of --profile-rows rows (20000 by default):
# instructions per row of the walk, and of everything else the process does
# (load, connect, execute, first row, close) divided by the same rows; then
# timed on both tables, --repetitions rounds (11 by default) after a warm-up,
# each run in a fresh process: time to the first row, peak memory, the walk
# (the table of --rows rows, 100000 by default, is the one the summary
# shows). It prints each part and a summary table.
# The callgrind files stay in build-bench/callgrind/drivers/.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
# shellcheck source-path=SCRIPTDIR source=common.sh
source "$VORDEX_SCRIPTS/../bench/common.sh"
cd "$VORDEX_SCRIPTS/.."

usage() {
    vordex_die "usage: bench/drivers.sh [--rows N] [--profile-rows N] [--repetitions N] [--drivers pg,sqlite,mariadb]"
}

rows=100000
profile_rows=20000
repetitions=11
drivers=pg,sqlite,mariadb
while (($# > 0)); do
    case $1 in
    --rows) rows=${2:?}; shift 2 ;;
    --profile-rows) profile_rows=${2:?}; shift 2 ;;
    --repetitions) repetitions=${2:?}; shift 2 ;;
    --drivers) drivers=${2:?}; shift 2 ;;
    *) usage ;;
    esac
done
for number in "$rows" "$profile_rows" "$repetitions"; do
    [[ $number =~ ^[1-9][0-9]*$ ]] || vordex_die "--rows, --profile-rows and --repetitions want positive numbers"
done
IFS=, read -r -a driver_list <<<"$drivers"
((${#driver_list[@]} > 0)) || usage
for driver in "${driver_list[@]}"; do
    [[ $driver =~ ^(pg|sqlite|mariadb)$ ]] || vordex_die "unknown driver '$driver': pg, sqlite or mariadb"
done
vordex_require_root
for tool in valgrind sqlite3 mariadb; do
    command -v "$tool" >/dev/null || vordex_die "$tool is not installed (scripts/install_deps.sh installs it)"
done

bench_build
vordex_private_cluster maria
sqlite_file=$VORDEX_TMP/bench.sqlite

# The tables: one of --profile-rows rows for callgrind, one of --rows rows
# for the times (the same table when the sizes agree).
table_of() { printf 'bench_rows_%s\n' "$1"; }
sizes=("$profile_rows")
[[ $rows == "$profile_rows" ]] || sizes+=("$rows")
psql_cmd=(psql -X -q -v ON_ERROR_STOP=1)
PGOPTIONS='-c client_min_messages=warning' \
    "${psql_cmd[@]}" -c "DROP DATABASE IF EXISTS $BENCH_DATA_DB" -c "CREATE DATABASE $BENCH_DATA_DB"
for size in "${sizes[@]}"; do
    table=$(table_of "$size")
    vordex_log "creating $table ($size rows) in PostgreSQL, SQLite and MariaDB"
    "${psql_cmd[@]}" -d "$BENCH_DATA_DB" -v rows="$size" -v table="$table" -f bench/bench_rows.sql
    "${psql_cmd[@]}" -At -d "$BENCH_DATA_DB" -v table="$table" -v dialect=sqlite -f bench/bench_rows_export.sql |
        sqlite3 -bail "$sqlite_file"
    "${psql_cmd[@]}" -At -d "$BENCH_DATA_DB" -v table="$table" -v dialect=mariadb -f bench/bench_rows_export.sql |
        mariadb --no-defaults -S "$MARIA_SOCKET" -uroot "$MARIA_DATABASE"
    mariadb --no-defaults -S "$MARIA_SOCKET" -uroot "$MARIA_DATABASE" -e "ANALYZE TABLE $table" >/dev/null
done

connect_of() {
    case $1 in
    pg) bench_connect "$BENCH_DATA_DB" ;;
    sqlite) printf 'DRIVER={SQLite3};Database=%s' "$sqlite_file" ;;
    mariadb) printf '%s' "$VORDEX_TEST_MARIA_DRIVER" ;;
    esac
}
library=(--library "$BENCH_BUILD/libvordex.so.2")
cases=(lib-listtext odbc-library)

# Instructions under callgrind.
out=$BENCH_BUILD/callgrind/drivers
mkdir -p "$out"
declare -A walk_ir rest_ir
callgrind_report=$(printf '%-8s %-14s %8s %12s %12s %14s %14s' driver case rows "walk Ir/row" "libvordex" \
    "bench program" "rest M Ir")
for driver in "${driver_list[@]}"; do
    for case_name in "${cases[@]}"; do
        vordex_log "callgrind: $driver, $case_name"
        args=("${library[@]}" --data "$(connect_of "$driver")" --table "$(table_of "$profile_rows")")
        figures=$(bench_callgrind "$out/$driver-$case_name-walk.callgrind" walk "$case_name" "${args[@]}")
        read -r walked walk lib prog _ <<<"$figures"
        figures=$(bench_callgrind "$out/$driver-$case_name-rest.callgrind" rest "$case_name" "${args[@]}")
        read -r _ _ _ _ rest <<<"$figures"
        rest=$(awk -v r="$rest" 'BEGIN { printf "%.1f", r / 1e6 }')
        walk_ir[$driver/$case_name]=$walk
        rest_ir[$driver/$case_name]=$rest
        callgrind_report+=$'\n'$(printf '%-8s %-14s %8d %12d %12.1f %14.1f %14.1f' "$driver" "$case_name" "$walked" \
            "$walk" "$lib" "$prog" "$rest")
    done
done

# Times and memory, every run in a fresh process, on both tables:
# how the time to the first row and the peak memory grow with the rows shows
# whether a driver reads the whole result when it executes.
declare -A first_ms peak_mib granted
times_report=""
for size in "${sizes[@]}"; do
    for driver in "${driver_list[@]}"; do
        vordex_log "times: $driver, $size rows, $repetitions rounds"
        output=$(VORDEX_DIALOG=stderr "$BENCH_BUILD/bench/vordex_read_bench" "${library[@]}" \
            --data "$(connect_of "$driver")" --table "$(table_of "$size")" --cases lib-listtext,odbc-library \
            --label "$driver" --repetitions "$repetitions")
        [[ -n $times_report ]] || times_report=$(head -n 2 <<<"$output")
        times_report+=$'\n'$(tail -n +3 <<<"$output")
        # label case cursor rows open first (max) peak (max) ...; a failed
        # case reads "label case failed: why".
        while read -r label case_name cursor _ _ first _ peak _; do
            [[ $cursor != failed: ]] || vordex_die "$label $case_name failed: $output"
            first_ms[$size/$label/$case_name]=$first
            peak_mib[$size/$label/$case_name]=$peak
            granted[$size/$label/$case_name]=$cursor
        done < <(tail -n +3 <<<"$output")
    done
done

printf '\nVORDEX read benchmark through each driver\n'
printf '\nInstructions under callgrind, table of %s rows: walk = per row, every row after the first;\n' "$profile_rows"
printf 'rest = millions of instructions in everything else the process does (load, connect, execute,\n'
printf 'first row, close).\n\n'
printf '%s\n' "$callgrind_report"
printf '\nTimes and memory, medians of %s runs (each in a fresh process), highest in ().\n\n' "$repetitions"
printf '%s\n' "$times_report"
printf '\nSummary. A = library, B = the same calls by hand. Instructions: walk per row, and the whole\n'
printf 'process (walk + rest) A/B, %s rows. First row (VORDEX_OpenRec against prepare, execute, bind and\n' \
    "$profile_rows"
printf 'the first fetch) and peak resident memory: medians, %s rows.\n\n' "$rows"
printf '%-8s %-18s %8s %8s %6s %8s %8s %8s %8s %8s\n' driver "B's cursor" "walk A" "walk B" "A/B" "all A/B" \
    "first A" "first B" "peak A" "peak B"
printf '%-8s %-18s %8s %8s %6s %8s %8s %8s %8s %8s\n' "" granted "Ir/row" "Ir/row" "" "" ms ms MiB MiB
for driver in "${driver_list[@]}"; do
    a=$driver/lib-listtext
    b=$driver/odbc-library
    awk -v d="$driver" -v g="${granted[$rows/$b]}" -v n="$profile_rows" -v wa="${walk_ir[$a]}" \
        -v wb="${walk_ir[$b]}" -v ra="${rest_ir[$a]}" -v rb="${rest_ir[$b]}" -v fa="${first_ms[$rows/$a]}" \
        -v fb="${first_ms[$rows/$b]}" -v pa="${peak_mib[$rows/$a]}" -v pb="${peak_mib[$rows/$b]}" 'BEGIN {
            printf "%-8s %-18s %8d %8d %6.3f %8.3f %8.1f %8.1f %8.1f %8.1f\n", d, g, wa, wb, wa / wb,
                (wa * n + ra * 1e6) / (wb * n + rb * 1e6), fa, fb, pa, pb }'
done

# Seeks on the larger table, each in a fresh process: past the last row (the
# library's own keyset cursor reads every key on the way), to the last row
# and back to the first.
printf '\nSeeks on %s rows (VORDEX_Seek past the last row, to the last, then to the first), wall ms:\n\n' "$rows"
printf '%-8s %10s %10s %10s\n' driver "past end" "to last" "to first"
for driver in "${driver_list[@]}"; do
    seek=$(VORDEX_DIALOG=stderr VORDEX_CONNECT="$(connect_of "$driver")" "$BENCH_BUILD/bench/vordex_read_bench" \
        "${library[@]}" --data "$(connect_of "$driver")" --table "$(table_of "$rows")" --case lib-seek \
        --last-row $((rows - 1)))
    awk -v d="$driver" '{
            for (i = 1; i <= NF; ++i) { split($i, kv, "="); f[kv[1]] = kv[2] }
            printf "%-8s %10.1f %10.1f %10.1f\n", d, f["seek_end_wall"] * 1000, f["seek_last_wall"] * 1000,
                f["seek_first_wall"] * 1000 }' <<<"$seek"
done
