#!/usr/bin/env bash
# Runs one command against a throw-away PostgreSQL cluster and private ODBC
# configuration, e.g. to run a single test binary by hand:
#   scripts/with_cluster.sh build/tests/vordex_integration_tests
# The command sees PG* and ODBC variables from env.sh; the cluster and its
# directory are gone once it ends. Exits with the command's status.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

(($# > 0)) || vordex_die "usage: with_cluster.sh COMMAND [ARG...]"
vordex_private_cluster maria pooler pgpool standby galera
"$@"
