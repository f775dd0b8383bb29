#!/usr/bin/env bash
# Runs every test: the full suite (unit, integration against a private
# PostgreSQL cluster and SQLite, host tests, the C host under valgrind) in a
# normal build, then the unit tests again and seeded random calls against the
# cluster under AddressSanitizer/UBSan. Exits non-zero if any step fails;
# the cluster is stopped and its directory removed in every case.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
vordex_require_root
cd "$VORDEX_SCRIPTS/.."

bash scripts/install_deps.sh --windows

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEX_WERROR=ON
cmake --build build -j2

vordex_private_cluster
ctest --test-dir build --output-on-failure --no-tests=error

# Under AddressSanitizer and UndefinedBehaviorSanitizer: the unit tests on the
# stand-in, then seeded runs of random calls against the cluster.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVORDEX_SANITIZE=ON
cmake --build build-asan -j2 --target vordex_unit_tests vordex_cli_tests vordex_call_fuzz
ctest --test-dir build-asan --output-on-failure --no-tests=error -L 'unit|fuzz'
