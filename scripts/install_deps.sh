#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, touching apt
# only when something is missing (CI runs this on every build).
set -euo pipefail

packages=(
    cmake g++ python3 python3-pyodbc valgrind
    pkgconf man-db groff-base # building against the installed library, manual pages
    xvfb xdotool zenity imagemagick fonts-ipafont-gothic # desktop dialogs on a display server
    libgtest-dev libgmock-dev libbenchmark-dev
    unixodbc unixodbc-dev odbc-postgresql libsqliteodbc
    postgresql-15
    iproute2 # ss, used to find a free port
)

missing=()
for pkg in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
    [[ $status == installed ]] || missing+=("$pkg")
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

if ((EUID != 0)); then
    echo "install_deps.sh: missing packages: ${missing[*]} (run as root to install)" >&2
    exit 1
fi

echo "install_deps.sh: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -q </dev/null
apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
