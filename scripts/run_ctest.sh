#!/usr/bin/env bash
# Runs the tests of one build directory with ctest, two at a time, and holds
# tests that did not run to account:
#   run_ctest.sh BUILD_DIR [CTEST_ARG...]
# A test that skipped (exit 77, GTEST_SKIP, a disabled test: whatever ctest
# lists as not run) is named at the end and written to BUILD_DIR/skipped.txt.
# The counts of the run, "PASSED FAILED SKIPPED", go to BUILD_DIR/counts.txt.
# With CI set, any such test fails the run: CI must have run every test.
# Exits non-zero when ctest does.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

(($# >= 1)) || vordex_die "usage: run_ctest.sh BUILD_DIR [CTEST_ARG...]"
build=$1
shift
log=$build/ctest.log
status=0
ctest --test-dir "$build" -j2 --output-on-failure --no-tests=error "$@" 2>&1 | tee "$log" || status=$?

# One line per test: "N/M Test #K: NAME ...   Passed   0.01 sec", or
# "***Skipped", "***Not Run (Disabled)" for a test that did not run, and
# "***Failed", "***Timeout", "***Not Run" (no program) and the like for a
# failure.
awk '/^ *[0-9]+\/[0-9]+ +Test +#[0-9]+: / {
         if (/\*\*\*(Skipped|Not Run \(Disabled\))/) skipped++
         else if (/ Passed +[0-9.]+ sec *$/) passed++
         else failed++
     }
     END { print passed + 0, failed + 0, skipped + 0 }' "$log" >"$build/counts.txt"
read -r passed failed skipped <"$build/counts.txt"
vordex_log "$build: $(vordex_counts "$passed" "$failed" "$skipped")"

# ctest's closing section: "The following tests did not run:", then one
# "<tab>N - NAME (Skipped)" line per test.
awk '/^The following tests did not run:/ { listed = 1; next }
     listed && !/^\t/ { listed = 0 }
     listed { sub(/^\t *[0-9]+ - /, ""); print }' "$log" >"$build/skipped.txt"
if [[ -s $build/skipped.txt ]]; then
    names=$(paste -sd, "$build/skipped.txt" | sed 's/,/, /g')
    if [[ -n ${CI:-} ]]; then
        vordex_log "with CI set, a test that did not run is a failure: $names"
        exit 1
    fi
    vordex_log "did not run (CI would fail on this): $names"
fi
exit "$status"
