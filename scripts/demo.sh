#!/usr/bin/env bash
# Shows VORDEX at work in one command: installs what is missing, builds the
# library and the `vordex` command-line host, reads and writes a small
# sample database (demo_data.sql) in an SQLite file through the library, then
# the same in a throw-away PostgreSQL cluster. Needs root, like
# scripts/test.sh; reads no standard input. The file, the cluster and their
# directories are removed when the demo ends.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
vordex_require_root
cd "$VORDEX_SCRIPTS/.."

bash scripts/install_deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEX_WERROR=ON >/dev/null
cmake --build build -j2 --target vordex_cli
vordex_log "built build/tools/vordex/vordex and build/libvordex.so.2"

# No terminal questions: the data source is given, messages go to stderr.
export VORDEX_DIALOG=stderr

show() {
  local heading=$1
  shift
  printf '\n== %s\n$ vordex --connect %s %s\n' "$heading" "$connect" "$*"
  build/tools/vordex/vordex --connect "$connect" "$@" </dev/null
}

# First a file of SQLite, with no server at all: the sample database made
# with sqlite3, read and written through the SQLite ODBC driver.
demo_dir=$(mktemp -d /tmp/vordex-demo.XXXXXX)
trap 'rm -rf -- "$demo_dir"' EXIT
sed 's/serial PRIMARY KEY/INTEGER PRIMARY KEY/' scripts/demo_data.sql | sqlite3 -bail "$demo_dir/shop.db"
connect="Driver=SQLite3;Database=$demo_dir/shop.db"
printf '\n######## SQLite: the file %s, no server\n' "$demo_dir/shop.db"
show "The tables of the file" tables
show "Every row, tab-separated (the default)" rows products
show "Write one field of the row with id 5" set products in_stock 79 --where id=5
printf '\n$ sqlite3 %s "SELECT in_stock FROM products WHERE id = 5"\n' "$demo_dir/shop.db"
sqlite3 "$demo_dir/shop.db" "SELECT in_stock FROM products WHERE id = 5"
rm -rf -- "$demo_dir"
trap - EXIT

# Then PostgreSQL, in a private cluster of its own.
vordex_private_cluster
psql -X -q -v ON_ERROR_STOP=1 -f scripts/demo_data.sql </dev/null
connect="DSN=$VORDEX_TEST_PG_DSN"
printf '\n######## PostgreSQL: a private cluster\n'
show "The tables of the sample database" tables
show "The columns of a table" columns products
show "Every row, tab-separated (the default)" rows customers
show "Every row as CSV" rows products --format csv
show "Timestamps, booleans (1 or 0) and NULLs (empty)" rows orders
show "One value: row 1, column name" get products 1 name
show "Write one field of the row with id 5: a packet of ほうじ茶 sold" set products in_stock 79 --where id=5
show "Read it back by its key" get products --where id=5
show "A view: read only" rows order_totals

printf '\nDemo finished; the cluster is removed now.\n'
