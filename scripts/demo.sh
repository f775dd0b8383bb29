#!/usr/bin/env bash
# Shows VORDEX at work in one command: installs what is missing, builds the
# library and the `vordex` command-line host, starts a throw-away PostgreSQL
# cluster with a small sample database (demo_data.sql) and reads it through
# the library. Needs root, like scripts/test.sh; reads no standard input. The
# cluster and its directory are removed when the demo ends.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
vordex_require_root
cd "$VORDEX_SCRIPTS/.."

bash scripts/install_deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEX_WERROR=ON >/dev/null
cmake --build build -j2 --target vordex_cli
vordex_log "built build/tools/vordex/vordex and build/libvordex.so.2"

vordex_private_cluster
psql -X -q -v ON_ERROR_STOP=1 -f scripts/demo_data.sql </dev/null

# No terminal questions: the data source is given, messages go to stderr.
export VORDEX_DIALOG=stderr
connect="DSN=$VORDEX_TEST_PG_DSN"

show() {
  local heading=$1
  shift
  printf '\n== %s\n$ vordex --connect %s %s\n' "$heading" "$connect" "$*"
  build/tools/vordex/vordex --connect "$connect" "$@" </dev/null
}

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
