#!/usr/bin/env bash
# The shared library exports exactly the functions that the header declares and
# the version script lists, and nothing else.
set -euo pipefail
library=$1 header=$2 map=$3

exported=$(nm -D --defined-only "$library" | awk '$2 ~ /^[TWDBRV]$/ {print $3}' | sort)
declared=$(grep -oE '\bVORDEX_[A-Za-z]+\s*\(' "$header" | tr -d '( ' | sort -u)
listed=$(grep -oE '\bVORDEX_[A-Za-z]+;' "$map" | tr -d ';' | sort -u)

status=0
if [ "$exported" != "$declared" ]; then
  echo "exported symbols differ from the header:"; diff <(echo "$exported") <(echo "$declared") || true; status=1
fi
if [ "$listed" != "$declared" ]; then
  echo "version script differs from the header:"; diff <(echo "$listed") <(echo "$declared") || true; status=1
fi
soname=$(objdump -p "$library" | awk '/SONAME/ {print $2}')
if [ "$soname" != "libvordex.so.2" ]; then echo "SONAME is '$soname'"; status=1; fi
[ $status -eq 0 ] && echo "exports: $(echo $exported)"
exit $status
