#!/usr/bin/env bash
# Runs every test: the full suite (unit, integration against a private
# PostgreSQL cluster and SQLite, host tests, the C host under valgrind) in a
# normal build, then the unit tests again and seeded random calls against the
# cluster under AddressSanitizer/UBSan (ctest runs two tests at a time), then
# the build against iODBC in a fresh Debian root (one test in the counts).
# Exits non-zero if any step fails, and with CI set also if a test skipped
# or the run left files behind; the cluster is stopped and its directory
# removed in every case. A failing part does not stop the others. The last
# line is the verdict of every part: "N passed, N failed", plus the skips.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
vordex_require_root
cd "$VORDEX_SCRIPTS/.."

# What a run may leave behind: the entries of the temporary directories and
# of $HOME (two levels deep: programs keep their files in its dot
# directories) owned by the run's user, and what git sees in the checkout
# outside the build directories. Other users' files are not the run's; those
# of other processes of the same user cannot be told from the run's, so
# only CI, where nothing else runs, fails on them.
own_entries() {
    {
        # /tmp/.X11-unix: the X servers' shared socket directory, made by
        # the first one a machine runs.
        find /tmp /var/tmp /dev/shm -mindepth 1 -maxdepth 1 -user "$EUID" -not -path /tmp/.X11-unix
        find "${HOME:-}" -mindepth 1 -maxdepth 2 -user "$EUID" -not -path "$PWD" -not -path "$PWD/*"
        git status --porcelain --ignored | grep -vxE '!! build(-asan)?/' | sed 's/^/checkout: /'
    } 2>/dev/null | LC_ALL=C sort || true
}

passed=0 failed=0 skipped=0 failed_parts=0 parts_run=()
# Runs the tests of one build directory and adds its counts to the run's.
run_part() {  # BUILD_DIR [CTEST_ARG...]
    local counts=(0 0 0)
    rm -f -- "$1/counts.txt"
    bash scripts/run_ctest.sh "$@" || failed_parts=$((failed_parts + 1))
    [[ ! -f $1/counts.txt ]] || read -r -a counts <"$1/counts.txt"
    passed=$((passed + counts[0])) failed=$((failed + counts[1])) skipped=$((skipped + counts[2]))
    parts_run+=("$1")
}

# Runs a check that is no ctest run and counts it as one test.
run_check() {  # NAME COMMAND...
    local name=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1)) failed_parts=$((failed_parts + 1))
        vordex_log "failed: $name"
    fi
    parts_run+=("$name")
}

# However the run ends: the cluster goes, then what the run left behind and
# what did not run are named, and the verdict comes last.
finish() {
    local status=$? left verdict part not_run=()
    set +e
    trap - EXIT
    vordex_private_cluster_down
    verdict=$(vordex_counts "$passed" "$failed" "$skipped")
    # Outside CI a skip passes; name what skipped once more.
    if ((skipped > 0)); then
        vordex_log "these tests did not run:"$'\n'"$(for part in "${parts_run[@]}"; do [[ ! -f $part/skipped.txt ]] || cat "$part/skipped.txt"; done)"
        [[ -z ${CI:-} ]] || verdict+=" (with CI set, a skip fails the run)"
    fi
    if [[ -v entries_before ]]; then
        left=$(LC_ALL=C comm -13 <(printf '%s\n' "$entries_before") <(own_entries))
        if [[ -n $left ]]; then
            vordex_log "the run left behind:"$'\n'"$left"
            verdict+="; $(wc -l <<<"$left") left behind"
            if [[ -n ${CI:-} ]]; then status=1; else verdict+=" (CI would fail on this)"; fi
        fi
    fi
    for part in build build-asan iodbc; do
        [[ " ${parts_run[*]} " == *" $part "* ]] || not_run+=("$part")
    done
    ((${#not_run[@]} == 0)) || verdict+="; not run: the tests of ${not_run[*]}"
    if ((failed_parts > 0)); then
        status=1
        # A part can fail with no test failing, nor skipping under CI: then
        # ctest itself did.
        if ((failed == 0)) && { [[ -z ${CI:-} ]] || ((skipped == 0)); }; then
            verdict+="; ctest failed (see above)"
        fi
    fi
    printf '%s: %s\n' "${0##*/}" "$verdict"
    exit "$status"
}
trap finish EXIT

bash scripts/install_deps.sh --windows
# From here on, what stays is the run's: what installing packages leaves is
# the system's.
entries_before=$(own_entries)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORDEX_WERROR=ON -DVORDEX_BUILD_TESTS=ON
cmake --build build -j2

vordex_private_cluster maria pooler pgpool standby galera
# Its exit trap only stops the cluster; finish does that, then the rest.
trap finish EXIT
run_part build

# Under AddressSanitizer and UndefinedBehaviorSanitizer: the unit tests on the
# stand-in, then seeded runs of random calls against the cluster.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVORDEX_SANITIZE=ON
cmake --build build-asan -j2 --target vordex_unit_tests vordex_cli_tests vordex_call_fuzz
run_part build-asan -L 'unit|fuzz'

# The library and vordex built against iODBC, in a fresh Debian root of
# their own: iODBC's development package would remove unixODBC's here.
run_check iodbc bash scripts/iodbc_check.sh
