#!/usr/bin/env bash
# Instruction counts of the read walk under callgrind, which repeat from run
# to run where times do not:
#   bash bench/profile.sh [--rows N]        (10000 rows by default)
# Runs the five reading cases of the benchmark once each under
# valgrind --tool=callgrind, collecting only while the rows are walked, and
# prints per row: all instructions, those in libvordex's own functions and
# those in the benchmark program. The callgrind files stay in
# build-bench/callgrind/ for callgrind_annotate.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=../scripts/lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
# shellcheck source-path=SCRIPTDIR source=common.sh
source "$VORDEX_SCRIPTS/../bench/common.sh"
cd "$VORDEX_SCRIPTS/.."

rows=10000
while (($# > 0)); do
    case $1 in
    --rows) rows=${2:?}; shift 2 ;;
    *) vordex_die "usage: bench/profile.sh [--rows N]" ;;
    esac
done
[[ $rows =~ ^[1-9][0-9]*$ ]] || vordex_die "--rows wants a positive number"
command -v valgrind >/dev/null || vordex_die "valgrind is not installed (apt-get install valgrind)"

bench_build
vordex_private_cluster
bench_create_data "$rows"
bench_args

out=$BENCH_BUILD/callgrind
mkdir -p "$out"
declare -A per_row
printf '\n%-14s %8s %14s %14s %14s\n' case rows "Ir/row" "libvordex" "bench program"
for case_name in lib-listtext lib-getdata odbc-library odbc-keyset odbc-forward; do
    figures=$(bench_callgrind "$out/$case_name.callgrind" walk "$case_name" "${BENCH_ARGS[@]}")
    read -r rows_read total lib prog _ <<<"$figures"
    per_row[$case_name]=$total
    printf '%-14s %8d %14d %14.1f %14.1f\n' "$case_name" "$rows_read" "$total" "$lib" "$prog"
done
ratio() { awk -v a="${per_row[$2]}" -v b="${per_row[$3]}" -v t="$1" 'BEGIN { printf "%-22s %.3f\n", t, a / b }'; }
printf '\ninstructions per row, ratio\n'
ratio "A  / B  (ListText)" lib-listtext odbc-library
ratio "A' / B  (GetData)" lib-getdata odbc-library
ratio "A  / C  (ListText)" lib-listtext odbc-forward
ratio "B  / C" odbc-library odbc-forward
ratio "K  / B" odbc-keyset odbc-library
