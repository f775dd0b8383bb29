#!/usr/bin/env bash
# Runs every test: the full suite (unit, integration against a private
# PostgreSQL cluster and SQLite, host tests, the C host under valgrind) in a
# normal build, then the unit tests again and seeded random calls against the
# cluster under AddressSanitizer/UBSan; ctest runs two tests at a time.
# Exits non-zero if any step fails, and with CI set also if a test skipped;
# the cluster is stopped and its directory removed in every case.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
vordex_require_root
cd "$VORDEX_SCRIPTS/.."

bash scripts/install_deps.sh --windows

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEX_WERROR=ON -DVORDEX_BUILD_TESTS=ON
cmake --build build -j2

vordex_private_cluster maria
bash scripts/run_ctest.sh build

# Under AddressSanitizer and UndefinedBehaviorSanitizer: the unit tests on the
# stand-in, then seeded runs of random calls against the cluster.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVORDEX_SANITIZE=ON
cmake --build build-asan -j2 --target vordex_unit_tests vordex_cli_tests vordex_call_fuzz
bash scripts/run_ctest.sh build-asan -L 'unit|fuzz'

# Outside CI a skip passes; name what skipped once more, last.
skipped=$(cat build/skipped.txt build-asan/skipped.txt)
if [[ -n $skipped ]]; then
    vordex_log "these tests did not run:"$'\n'"$skipped"
fi
