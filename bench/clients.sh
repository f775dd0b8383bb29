#!/usr/bin/env bash
# VORDEX beside the tools a user would pick instead, on the same table:
#   bash bench/clients.sh [--rows N] [--repetitions N]
# builds libvordex, the README's C host (examples/read_table.c) and vordex
# (RelWithDebInfo, in build-bench), starts a throw-away PostgreSQL cluster and
# MariaDB server, creates the benchmark table (bench_rows.sql, 250000 rows by
# default) in PostgreSQL and copies it into a SQLite file and into MariaDB.
# Each client then reads the whole table to /dev/null, --repetitions times (5
# by default) after a warm-up, each run a fresh process: the C host and
# `vordex rows` through the library; psql's \copy, sqlite3 and mariadb; isql
# and pyodbc through the same ODBC drivers. It prints the median wall time
# and the highest peak memory of each, as a table (bench/clients.py).
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
# shellcheck source-path=SCRIPTDIR source=common.sh
source "$VORDEX_SCRIPTS/../bench/common.sh"
cd "$VORDEX_SCRIPTS/.."

rows=250000
repetitions=5
bench_rows_and_repetitions "bench/clients.sh [--rows N] [--repetitions N]" "$@"
vordex_require_root

bench_build "vordex_read_table vordex_cli vordex_peak"
vordex_private_cluster maria
table=bench_clients
sqlite_file=$VORDEX_TMP/clients.sqlite
vordex_log "creating $table ($rows rows) in PostgreSQL, SQLite and MariaDB"
psql -X -q -v ON_ERROR_STOP=1 -v rows="$rows" -v table="$table" -f bench/bench_rows.sql
psql -X -q -At -v ON_ERROR_STOP=1 -v table="$table" -v dialect=sqlite -f bench/bench_rows_export.sql |
    sqlite3 -bail "$sqlite_file"
psql -X -q -At -v ON_ERROR_STOP=1 -v table="$table" -v dialect=mariadb -f bench/bench_rows_export.sql |
    mariadb --no-defaults -S "$MARIA_SOCKET" -uroot "$MARIA_DATABASE"
/usr/bin/python3 bench/clients.py --repetitions "$repetitions" --table "$table" --sqlite "$sqlite_file" \
    --build "$BENCH_BUILD"
