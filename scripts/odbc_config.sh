#!/usr/bin/env bash
# Writes a private unixODBC configuration into DIR/odbc so tests never read or
# change the machine's own ini files, and adds the variables that select it
# to DIR/env.sh. Run after `pg_cluster.sh start DIR` (it needs PGPORT) and,
# for a VordexMaria data source, `maria_server.sh start DIR`.
#   odbc_config.sh DIR
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

(($# == 1)) || vordex_die "usage: odbc_config.sh DIR"
dir=$(vordex_abs_dir "$1")
vordex_cluster_env "$dir"
: "${PGPORT:?PGPORT not set by $dir/env.sh}"

odbc=$dir/odbc
sqlite_db=$dir/sqlite/test.db
mkdir -p -- "$odbc" "$dir/sqlite"
# An empty file is an empty SQLite database; the library makes no file the
# connect string names (the driver's NoCreat).
: >>"$sqlite_db"

# The drivers under the names Debian's packages give them in
# /etc/odbcinst.ini, so that a connect string that works here works on a
# user's machine. Bare driver names resolve in unixODBC's driver directory.
# CommLog and Debug are off on purpose: the system file turns CommLog on,
# which leaves a log file in /tmp for every connection.
cat >"$odbc/odbcinst.ini" <<INI
[PostgreSQL ANSI]
Description=PostgreSQL ODBC driver (ANSI)
Driver=psqlodbca.so
CommLog=0
Debug=0

[PostgreSQL Unicode]
Description=PostgreSQL ODBC driver (Unicode)
Driver=psqlodbcw.so
CommLog=0
Debug=0

[SQLite3]
Description=SQLite 3 ODBC driver
Driver=libsqlite3odbc.so

[MariaDB Unicode]
Description=MariaDB Connector/ODBC
Driver=libmaodbc.so
INI

cat >"$odbc/odbc.ini" <<INI
[VordexPg]
Description=VORDEX tests: private PostgreSQL cluster
Driver=PostgreSQL ANSI
Servername=127.0.0.1
Port=$PGPORT
Database=$PGDATABASE
Username=$PGUSER
Password=

[VordexSqlite]
Description=VORDEX tests: SQLite file
Driver=SQLite3
Database=$sqlite_db

[VordexSqliteMissing]
Description=VORDEX tests: a SQLite file that is not there
Driver=SQLite3
Database=${sqlite_db%/*}/missing.db
INI

# The MariaDB server is there when maria_server.sh started one in DIR.
maria_driver=""
if [[ -n ${MARIA_PORT:-} ]]; then
    cat >>"$odbc/odbc.ini" <<INI

[VordexMaria]
Description=VORDEX tests: private MariaDB server
Driver=MariaDB Unicode
Server=127.0.0.1
Port=$MARIA_PORT
Database=$MARIA_DATABASE
User=root
Password=
CHARSET=utf8mb4
INI
    maria_driver="DRIVER={MariaDB Unicode};Server=127.0.0.1;Port=$MARIA_PORT;Database=$MARIA_DATABASE;User=root;CHARSET=utf8mb4"
fi

pg_driver="DRIVER={PostgreSQL ANSI};Servername=127.0.0.1;Port=$PGPORT;Database=$PGDATABASE;Username=$PGUSER"

{
    vordex_env_line ODBCSYSINI "$odbc"
    vordex_env_line ODBCINI "$odbc/odbc.ini"
    vordex_env_line VORDEX_TEST_PG_DSN VordexPg
    vordex_env_line VORDEX_TEST_PG_DRIVER "$pg_driver"
    vordex_env_line VORDEX_TEST_SQLITE_DSN VordexSqlite
    vordex_env_line VORDEX_TEST_SQLITE_FILE "$sqlite_db"
    if [[ -n $maria_driver ]]; then
        vordex_env_line VORDEX_TEST_MARIA_DSN VordexMaria
        vordex_env_line VORDEX_TEST_MARIA_DRIVER "$maria_driver"
    fi
} | vordex_env_section "$dir" "# Private unixODBC configuration (scripts/odbc_config.sh)"
