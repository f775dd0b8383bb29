#!/usr/bin/env bash
# Shows VORDEX at work in one command: installs what the demo needs when it
# is missing, builds the library and the `vordex` command-line host, reads
# and writes a small sample database (demo_data.sql) in an SQLite file
# through the library, then the same in a throw-away PostgreSQL cluster.
# Needs root, like scripts/test.sh; reads no standard input. Every command
# it shows can be pasted into a shell as it stands; the SQLite file stays
# (build/demo/shop.db, made anew by the next demo), so its commands still
# work afterwards, while the cluster and its directory are removed when the
# demo ends.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
vordex_require_root
cd "$VORDEX_SCRIPTS/.."

bash scripts/install_deps.sh --demo
# No tests: their libraries are the test command's to install.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEX_WERROR=ON -DVORDEX_BUILD_TESTS=OFF >/dev/null
cmake --build build -j2 --target vordex_cli
vordex=$PWD/build/tools/vordex/vordex
vordex_log "built $vordex and build/libvordex.so.2"

# No terminal questions: the data source is given, messages go to stderr.
export VORDEX_DIALOG=stderr

# A word as the shell reads it back: as it is when it holds nothing the
# shell treats specially, else in single quotes.
shell_word() {
  if [[ $1 =~ ^[A-Za-z0-9_./=:,+@%-]+$ ]]; then
    printf '%s' "$1"
  else
    printf "'%s'" "${1//\'/\'\\\'\'}"
  fi
}

# Shows a command as it can be pasted, then runs it.
show() {
  local heading=$1 word
  shift
  printf '\n== %s\n$' "$heading"
  for word in "$@"; do printf ' %s' "$(shell_word "$word")"; done
  printf '\n'
  "$@" </dev/null
}

# First a file of SQLite, with no server at all: the sample database made
# with sqlite3, read and written through the SQLite ODBC driver.
shop=$PWD/build/demo/shop.db
rm -rf -- "${shop%/*}"
mkdir -p -- "${shop%/*}"
sed 's/serial PRIMARY KEY/INTEGER PRIMARY KEY/' scripts/demo_data.sql | sqlite3 -bail "$shop"
connect="Driver=SQLite3;Database=$shop"
printf '\n######## SQLite: the file %s, no server\n' "$shop"
show "The tables of the file" "$vordex" --connect "$connect" tables
show "Every row, tab-separated (the default)" "$vordex" --connect "$connect" rows products
show "Write one field of the row with id 5" "$vordex" --connect "$connect" set products in_stock 79 --where id=5
show "What the file holds now" sqlite3 "$shop" "SELECT in_stock FROM products WHERE id = 5"

# Then PostgreSQL, in a private cluster of its own.
vordex_private_cluster
psql -X -q -v ON_ERROR_STOP=1 -f scripts/demo_data.sql </dev/null
# Debian's own name of the driver, as /etc/odbcinst.ini gives it.
connect="DRIVER={PostgreSQL Unicode};Servername=127.0.0.1;Port=$PGPORT;Database=$PGDATABASE;Username=$PGUSER"
printf '\n######## PostgreSQL: a private cluster, here while the demo runs\n'
show "The tables of the sample database" "$vordex" --connect "$connect" tables
show "The columns of a table" "$vordex" --connect "$connect" columns products
show "Every row, tab-separated (the default)" "$vordex" --connect "$connect" rows customers
show "Every row as CSV" "$vordex" --connect "$connect" rows products --format csv
show "Timestamps, booleans (1 or 0) and NULLs (empty)" "$vordex" --connect "$connect" rows orders
show "One value: row 1, column name" "$vordex" --connect "$connect" get products 1 name
show "Write one field of the row with id 5: a packet of ほうじ茶 sold" "$vordex" --connect "$connect" set products in_stock 79 --where id=5
show "Read it back by its key" "$vordex" --connect "$connect" get products --where id=5
show "A view: read only" "$vordex" --connect "$connect" rows order_totals

printf '\nDemo finished; the cluster is removed now. The SQLite file stays: the\ncommands of its part work as shown, and \"%s --help\" says the rest.\n' "$vordex"
