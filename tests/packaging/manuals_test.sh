#!/usr/bin/env bash
# The manual pages render without a warning from man and groff.
#   manuals_test.sh PAGE...
set -uo pipefail
status=0
for page in "$@"; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  lines=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>/dev/null | wc -l)
  if [[ -n $warnings || $lines -lt 20 ]]; then
    echo "FAILED: $page ($lines lines): $warnings"
    status=1
  else
    echo "ok: $page renders ($lines lines)"
  fi
done
exit $status
