#!/usr/bin/env bash
# Installs the Debian packages that the tests and the packaging use (or,
# with --demo, only what the demo uses), touching apt only when something is
# missing (CI runs this on every build). Run twice, or after an install that
# broke off, it completes the install.
#   install_deps.sh [--demo] [--windows] [--dry-run] [PACKAGE...]
# --demo     only what building the library and `vordex` and the demo's
#            SQLite file and PostgreSQL cluster need
# --windows  also what building VORDEX.dll and testing it under Wine need
# --dry-run  installs nothing: names the missing packages and exits 1 if any
#            are missing, 0 if none are
# PACKAGE... further packages to require
# Every failure names the step that failed.
set -euo pipefail

step="reading the arguments"
trap 'echo "install_deps.sh: failed while $step (line $LINENO: $BASH_COMMAND exited $?)" >&2' ERR

packages=(
    make cmake g++ python3 python3-pyodbc valgrind
    pkgconf man-db groff-base # building against the installed library, manual pages
    xvfb xdotool zenity imagemagick fonts-ipafont-gothic # desktop dialogs on a display server
    libgtest-dev libgmock-dev libbenchmark-dev
    unixodbc unixodbc-dev odbc-postgresql libsqliteodbc odbc-mariadb sqlite3
    mariadb-server mariadb-client # the private MariaDB server of the tests
    postgresql-15
    pgbouncer # the private connection pooler of the tests
    pgpool2 # the private pgpool-II of the tests
    galera-4 rsync # the private Galera cluster of the tests (rsync: its state transfer)
    iproute2 # ss, used to find a free port
    lintian # the packaging test checks the Debian packages
    mmdebstrap git # scripts/fresh_root.sh
)
# The demo's share: the build, the drivers and servers it reads.
demo_packages=(
    make cmake g++ python3 # python3 makes the manual pages during the build
    unixodbc unixodbc-dev odbc-postgresql libsqliteodbc sqlite3
    postgresql-15 iproute2
)
windows=0 dry_run=0
while (($#)); do
    case $1 in
    --demo) packages=("${demo_packages[@]}") ;;
    --windows) windows=1 ;;
    --dry-run) dry_run=1 ;;
    -*) echo "install_deps.sh: unknown option $1 (usage: install_deps.sh [--demo] [--windows] [--dry-run] [PACKAGE...])" >&2
        exit 2 ;;
    *) packages+=("$1") ;;
    esac
    shift
done
if ((windows)); then
    # VORDEX.dll: the cross compilers, Wine (wine gives the `wine` command,
    # only a recommendation of wine64; its 32-bit part runs the x86 DLL,
    # with the 32-bit driver manager and driver), a Japanese locale for Wine
    packages+=(mingw-w64 wine wine64 wine32:i386 libodbc2:i386 odbc-postgresql:i386 locales)
fi

step="adding the i386 architecture"
# The 32-bit packages need it.
if ((windows && !dry_run && EUID == 0)) && ! dpkg --print-foreign-architectures | grep -x i386 >/dev/null; then
    dpkg --add-architecture i386
fi

step="looking for missing packages"
missing=()
native=$(dpkg --print-architecture)
for pkg in "${packages[@]}"; do
    # A name without an architecture means the machine's own (or "all").
    wanted=${pkg#*:}
    [[ $wanted == "$pkg" ]] && wanted="$native all"
    # dpkg-query fails for a package it has never seen: that is "missing".
    status=$(dpkg-query -W -f='${db:Status-Status} ${Architecture}\n' "${pkg%%:*}" 2>/dev/null || true)
    awk -v wanted=" $wanted " '$1 == "installed" && index(wanted, " " $2 " ") { found = 1 } END { exit !found }' \
        <<<"$status" || missing+=("$pkg")
done

# Wine takes its ANSI code page from the locale: ja_JP.UTF-8 gives 932.
ensure_japanese_locale() {
    step="making the ja_JP.UTF-8 locale"
    locale -a 2>/dev/null | grep -ix 'ja_JP.utf8' >/dev/null && return 0
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    locale-gen >/dev/null
}

if ((${#missing[@]} == 0)); then
    if ((windows && !dry_run && EUID == 0)); then ensure_japanese_locale; fi
    exit 0
fi

if ((dry_run)); then
    echo "install_deps.sh: missing packages: ${missing[*]}" >&2
    exit 1
fi
if ((EUID != 0)); then
    echo "install_deps.sh: missing packages: ${missing[*]} (run as root to install them)" >&2
    exit 1
fi

echo "install_deps.sh: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
step="finishing an earlier install (dpkg --configure -a)"
dpkg --configure -a </dev/null
step="reading the package lists (apt-get update)"
apt-get update -q </dev/null
step="installing ${missing[*]}"
apt_errors=$(mktemp)
if ! apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null 2>"$apt_errors"; then
    cat "$apt_errors" >&2
    unknown=()
    for pkg in "${missing[@]}"; do
        apt-cache show "$pkg" >/dev/null 2>&1 || unknown+=("$pkg")
    done
    echo "install_deps.sh: apt-get could not install ${missing[*]}" >&2
    ((${#unknown[@]} == 0)) || echo "install_deps.sh: not in the archive: ${unknown[*]}" >&2
    grep '^E:' "$apt_errors" | sed 's/^/install_deps.sh: apt-get said: /' >&2 || true
    rm -f "$apt_errors"
    trap - ERR
    exit 1
fi
cat "$apt_errors" >&2
rm -f "$apt_errors"
if ((windows)); then ensure_japanese_locale; fi
