#!/usr/bin/env bash
# The read benchmark in one command:
#   bash bench/run.sh [--rows N] [--repetitions N]
# builds libvordex and the benchmark (RelWithDebInfo, in build-bench), starts a
# throw-away PostgreSQL cluster, creates the benchmark's data in it (a table of
# N rows, 100000 by default, and a schema of 32 tables), runs every case and
# prints the report. The cluster and its directory are gone afterwards.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
# shellcheck source-path=SCRIPTDIR source=common.sh
source "$VORDEX_SCRIPTS/../bench/common.sh"
cd "$VORDEX_SCRIPTS/.."

rows=100000
repetitions=11
bench_rows_and_repetitions "bench/run.sh [--rows N] [--repetitions N]" "$@"

bench_build
vordex_private_cluster
bench_create_data "$rows"
bench_args
VORDEX_DIALOG=stderr "$BENCH_BUILD/bench/vordex_read_bench" "${BENCH_ARGS[@]}" --repetitions "$repetitions"
