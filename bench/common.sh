# shellcheck shell=bash
# What bench/run.sh, bench/profile.sh and bench/large.sh share: the build,
# the data and the connect strings. Source it after scripts/lib.sh.

BENCH_BUILD=build-bench
BENCH_DATA_DB=vordex_bench
BENCH_CATALOG_DB=vordex_bench_catalog
# shellcheck disable=SC2034 # used by bench/large.sh
BENCH_LARGE_DB=vordex_bench_large

# Builds the library and the benchmark (RelWithDebInfo, with its own build dir).
bench_build() {
    bash scripts/install_deps.sh
    cmake -S . -B "$BENCH_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEX_BUILD_BENCH=ON \
        -DVORDEX_WERROR=ON >/dev/null
    cmake --build "$BENCH_BUILD" -j2 --target vordex vordex_read_bench
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

# The connect string for database $1 of the private cluster.
bench_connect() {
    printf 'DRIVER={PostgreSQL};Servername=%s;Port=%s;Database=%s;Username=%s' \
        "$PGHOST" "$PGPORT" "$1" "$PGUSER"
}

# The benchmark's arguments that name the library and both data sources.
bench_args() {
    # shellcheck disable=SC2034 # used by the scripts that source this file
    BENCH_ARGS=(--library "$BENCH_BUILD/libvordex.so.2"
        --data "$(bench_connect "$BENCH_DATA_DB")"
        --catalog "$(bench_connect "$BENCH_CATALOG_DB")")
}
