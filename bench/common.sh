# shellcheck shell=bash
# What bench/run.sh, bench/profile.sh and bench/large.sh share: the build,
# the data and the connect strings. Source it after scripts/lib.sh.

BENCH_BUILD=build-bench
BENCH_DATA_DB=vordex_bench
BENCH_CATALOG_DB=vordex_bench_catalog
# shellcheck disable=SC2034 # used by bench/large.sh
BENCH_LARGE_DB=vordex_bench_large

# Builds the library and the benchmark (RelWithDebInfo, with its own build dir),
# and the further targets $1 names.
bench_build() {
    bash scripts/install_deps.sh
    cmake -S . -B "$BENCH_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEX_BUILD_BENCH=ON \
        -DVORDEX_WERROR=ON >/dev/null
    # shellcheck disable=SC2086 # $1: further targets, words
    cmake --build "$BENCH_BUILD" -j2 --target vordex vordex_read_bench ${1:-}
}

# Creates both databases afresh in the running private cluster: the table of
# $1 rows and the 32-table schema.
bench_create_data() {
    local rows=$1 db
    local psql_cmd=(psql -X -q -v ON_ERROR_STOP=1)
    for db in "$BENCH_DATA_DB" "$BENCH_CATALOG_DB"; do
        PGOPTIONS='-c client_min_messages=warning' \
            "${psql_cmd[@]}" -c "DROP DATABASE IF EXISTS $db" -c "CREATE DATABASE $db"
    done
    vordex_log "creating $rows rows"
    "${psql_cmd[@]}" -d "$BENCH_DATA_DB" -v rows="$rows" -f bench/bench_rows.sql
    "${psql_cmd[@]}" -d "$BENCH_CATALOG_DB" -f bench/bench_catalog.sql
}

# What the library asks psqlODBC for when the connect string chooses no
# reading mode: block reading. Spelled out, so that the same ODBC calls made
# by hand read the same way.
BENCH_PG_BLOCKS=';UseDeclareFetch=1;Fetch=10000'

# The connect string for database $1 of the private cluster, reading in
# blocks, or with the settings $2 in their place.
bench_connect() {
    printf 'DRIVER={PostgreSQL ANSI};Servername=%s;Port=%s;Database=%s;Username=%s%s' \
        "$PGHOST" "$PGPORT" "$1" "$PGUSER" "${2-$BENCH_PG_BLOCKS}"
}

# The benchmark's arguments that name the library and both data sources.
bench_args() {
    # shellcheck disable=SC2034 # used by the scripts that source this file
    BENCH_ARGS=(--library "$BENCH_BUILD/libvordex.so.2"
        --data "$(bench_connect "$BENCH_DATA_DB")"
        --catalog "$(bench_connect "$BENCH_CATALOG_DB")")
}

# Reads the options --rows N and --repetitions N of a benchmark script into
# $rows and $repetitions (their defaults set before), or dies with the usage
# line $1.
#   bench_rows_and_repetitions USAGE "$@"
bench_rows_and_repetitions() {
    local usage=$1
    shift
    while (($# > 0)); do
        case $1 in
        --rows) rows=${2:?}; shift 2 ;;
        --repetitions) repetitions=${2:?}; shift 2 ;;
        *) vordex_die "usage: $usage" ;;
        esac
    done
    for number in "$rows" "$repetitions"; do
        [[ $number =~ ^[1-9][0-9]*$ ]] || vordex_die "--rows and --repetitions want positive numbers"
    done
}

# Runs one case of the benchmark once under callgrind and prints
# "ROWS IR_PER_ROW LIBVORDEX_PER_ROW PROGRAM_PER_ROW IR": the instructions per
# walked row in all, in libvordex's own functions and in the benchmark
# program (self cost of every function, summed by the object it lies in),
# then the instructions counted in all.
#   bench_callgrind FILE walk|rest CASE BENCHMARK-ARGUMENTS...
# The benchmark switches collection on and off around its walk: `walk`
# counts only the walk (every row after the first), `rest` everything else
# the process does (loading, connecting, executing, the first row, closing),
# still divided by the rows walked. The file stays for callgrind_annotate.
bench_callgrind() {
    local file=$1 part=$2 case_name=$3 line walked atstart
    shift 3
    case $part in
    walk) atstart=no ;;
    rest) atstart=yes ;;
    *) vordex_die "bench_callgrind: walk or rest, not '$part'" ;;
    esac
    line=$(VORDEX_DIALOG=stderr valgrind -q --tool=callgrind --collect-atstart="$atstart" \
        --callgrind-out-file="$file" "$BENCH_BUILD/bench/vordex_read_bench" --case "$case_name" "$@")
    walked=$(sed -n 's/.*\brows=\([0-9]*\).*/\1/p' <<<"$line")
    [[ -n $walked ]] || vordex_die "$case_name under callgrind reported no rows: $line"
    callgrind_annotate --auto=no --threshold=100 "$file" 2>/dev/null | awk -v rows="$walked" '
        /PROGRAM TOTALS/ { gsub(",", "", $1); total = $1 }
        /\[.*libvordex\.so[^]]*\]$/ { v = $1; gsub(",", "", v); lib += v }
        /\[.*vordex_read_bench\]$/ { v = $1; gsub(",", "", v); prog += v }
        END { printf "%d %.0f %.1f %.1f %.0f\n", rows, total / rows, lib / rows, prog / rows, total }'
}
