#!/usr/bin/env bash
# The library and `vordex` built against iODBC, the driver manager of macOS
# and of some Linux systems, and run with the SQLite and psqlODBC ANSI
# drivers. Debian's iODBC development package conflicts with unixODBC's, so
# all of it happens in a freshly made Debian 12 root (fresh_root.sh, which
# runs the committed state of this checkout); afterwards this machine's own
# unixODBC is checked to be as it was. Needs root; exits non-zero if any
# step fails.
#   iodbc_check.sh            on this machine
#   iodbc_check.sh --in-root  the part that runs inside the fresh root
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
vordex_require_root
cd "$VORDEX_SCRIPTS/.."

if [[ ${1:-} != --in-root ]]; then
    status=0
    bash scripts/fresh_root.sh bash scripts/iodbc_check.sh --in-root || status=$?
    if ! isql_version=$(isql --version </dev/null) || [[ $isql_version != unixODBC* ]]; then
        vordex_die "this machine's isql no longer runs after the iODBC root"
    fi
    [[ $(dpkg-query -W -f='${db:Status-Status}' unixodbc-dev) == installed ]] ||
        vordex_die "unixodbc-dev is no longer installed on this machine after the iODBC root"
    vordex_log "this machine's unixODBC is untouched: isql $isql_version"
    exit "$status"
fi

# ---- inside the fresh root ---------------------------------------------------
vordex_log "installing iODBC, the drivers, PostgreSQL and the build tools"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q </dev/null >/dev/null
apt-get install -y -q --no-install-recommends cmake make g++ python3 libiodbc2-dev \
    odbc-postgresql libsqliteodbc sqlite3 postgresql-15 </dev/null >/dev/null

cmake -S . -B build-iodbc -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEX_WERROR=ON -DVORDEX_ODBC=iodbc \
    -DVORDEX_BUILD_TESTS=OFF >/dev/null
cmake --build build-iodbc -j2 --target vordex vordex_cli
library=$PWD/build-iodbc/libvordex.so.2
vordex=$PWD/build-iodbc/tools/vordex/vordex
needed=$(ldd "$library")
[[ $needed == *"libiodbc.so.2 "* && $needed == *"libiodbcinst.so.2 "* && $needed != *"libodbc"* ]] ||
    vordex_die "$library is not linked to iODBC's libraries alone:"$'\n'"$needed"

# The private configuration of the tests, read by iODBC too: ODBCINI names
# the data sources' file for both; iODBC finds the drivers' file by
# SYSODBCINSTINI (unixODBC ignores it; the drivers read their own settings
# through unixODBC's installer library) and loads a driver by its path only.
vordex_private_cluster
driver_dir=$(dirname "$(dpkg -L libsqliteodbc | grep '/libsqlite3odbc\.so$')")
sed -i "s|^Driver=\([^/]*\.so\)$|Driver=$driver_dir/\1|" "$VORDEX_TMP/odbc/odbcinst.ini"
export SYSODBCINSTINI=$VORDEX_TMP/odbc/odbcinst.ini
export VORDEX_DIALOG=stderr PYTHONDONTWRITEBYTECODE=1

# The driver scenarios of the host test, without psqlODBC's Unicode driver
# (built for unixODBC's two-byte SQLWCHAR, where iODBC's is four) and MariaDB
# (whose driver is Unicode too).
vordex_log "the drivers' scenarios under iODBC"
(cd tests/host && VORDEX_TEST_SCENARIOS='SQLite|PostgreSQL(, .*)?' python3 drivers_test.py "$library" \
    EveryDriver.test_list_read_and_seek EveryDriver.test_writes_land_on_the_row_as_granted)

vordex_log "vordex on PostgreSQL under iODBC"
bash tests/cli/cli_pg_test.sh "$vordex"

# A data source named by DSN: iODBC finds it in ODBCINI, and the library
# reads the SQLite file's path from it through iODBC's installer library
# (the message names the missing file).
vordex_log "vordex on SQLite data sources under iODBC"
sqlite3 -bail "$VORDEX_TEST_SQLITE_FILE" "CREATE TABLE t(k INTEGER PRIMARY KEY, v TEXT); INSERT INTO t VALUES (1,'a');"
"$vordex" --connect "DSN=$VORDEX_TEST_SQLITE_DSN" set t v 'ü' --where k=1 </dev/null >/dev/null
rows=$("$vordex" --connect "DSN=$VORDEX_TEST_SQLITE_DSN" rows t </dev/null)
[[ $rows == $'k\tv\n1\tü' ]] || vordex_die "vordex rows t on $VORDEX_TEST_SQLITE_DSN printed: $rows"
missing=$("$vordex" --connect DSN=VordexSqliteMissing tables 2>&1 </dev/null) &&
    vordex_die "vordex read a data source whose file is missing: $missing"
[[ $missing == *"${VORDEX_TEST_SQLITE_FILE%/*}/missing.db"* ]] ||
    vordex_die "the message on a missing file does not name it: $missing"
[[ ! -e ${VORDEX_TEST_SQLITE_FILE%/*}/missing.db ]] || vordex_die "the SQLite driver made the missing file"
vordex_log "iODBC: every check passed"
