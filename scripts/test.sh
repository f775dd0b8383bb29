#!/usr/bin/env bash
# Runs every test: the full suite (unit, integration against a private
# PostgreSQL cluster and SQLite, host tests) in a normal build, then the unit
# tests again under AddressSanitizer/UBSan. Exits non-zero if any step fails;
# the cluster is stopped and its directory removed in every case.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cd "$VORDEX_SCRIPTS/.."

bash scripts/install_deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEX_WERROR=ON
cmake --build build -j2

vordex_private_cluster
ctest --test-dir build --output-on-failure --no-tests=error

# The sanitizer build only needs the stand-in, not the cluster.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVORDEX_SANITIZE=ON
cmake --build build-asan -j2 --target vordex_unit_tests vordex_cli_tests
ctest --test-dir build-asan --output-on-failure --no-tests=error -L unit
