#!/usr/bin/env bash
# Random calls for longer than the test suite runs them: builds the library
# and the harness with AddressSanitizer and UndefinedBehaviorSanitizer (in
# build-asan), starts a throw-away PostgreSQL cluster (and MariaDB server for
# --driver mariadb) and runs seed after seed until the time is up or one
# fails. With --driver sqlite the database is an SQLite file, locked now and
# then by another connection instead of having its server restarted.
#   bash scripts/fuzz.sh [--driver postgres|sqlite|mariadb] [--minutes N]
#                        [--first-seed N] [--threads 1|2]
# A failure prints its seed; `vordex_call_fuzz --seed N` with the same
# options repeats it (with one thread, call for call).
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
vordex_require_root
cd "$VORDEX_SCRIPTS/.."

usage="usage: scripts/fuzz.sh [--driver postgres|sqlite|mariadb] [--minutes N] [--first-seed N] [--threads 1|2]"
driver=postgres minutes=10 seed=100 threads=1
while (($# > 0)); do
    case $1 in
    --driver) driver=${2:?}; shift 2 ;;
    --minutes) minutes=${2:?}; shift 2 ;;
    --first-seed) seed=${2:?}; shift 2 ;;
    --threads) threads=${2:?}; shift 2 ;;
    *) vordex_die "$usage" ;;
    esac
done
servers=()
case $driver in
postgres | sqlite) ;;
mariadb) servers=(maria) ;;
*) vordex_die "$usage" ;;
esac

bash scripts/install_deps.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVORDEX_SANITIZE=ON >/dev/null
cmake --build build-asan -j2 --target vordex_call_fuzz
vordex_private_cluster "${servers[@]}"
export LSAN_OPTIONS="suppressions=$PWD/tests/fuzz/lsan.supp:print_suppressions=0"

end=$((SECONDS + minutes * 60))
while ((SECONDS < end)); do
    build-asan/tests/vordex_call_fuzz --scripts "$VORDEX_SCRIPTS" --driver "$driver" --seed "$seed" --steps 20000 \
        --threads "$threads" --kill-every 400 --restart-every 9000
    seed=$((seed + 1))
done
