#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, touching apt
# only when something is missing (CI runs this on every build).
#   install_deps.sh [--windows]
# --windows adds what building VORDEX.dll and testing it under Wine need.
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
windows=0
[[ ${1:-} == --windows ]] && windows=1
if ((windows)); then
    # VORDEX.dll: the cross compilers, Wine (its 32-bit part runs the x86 DLL,
    # with the 32-bit driver manager and driver), a Japanese locale for Wine
    packages+=(mingw-w64 wine64 wine32:i386 libodbc2:i386 odbc-postgresql:i386 locales)
fi

# The 32-bit packages need the i386 architecture.
if ((windows)) && ! dpkg --print-foreign-architectures | grep -qx i386; then
    if ((EUID == 0)); then dpkg --add-architecture i386; fi
fi

missing=()
native=$(dpkg --print-architecture)
for pkg in "${packages[@]}"; do
    # A name without an architecture means the machine's own (or "all").
    wanted=${pkg#*:}
    [[ $wanted == "$pkg" ]] && wanted="$native all"
    installed=$(dpkg-query -W -f='${db:Status-Status} ${Architecture}\n' "${pkg%%:*}" 2>/dev/null |
        awk -v wanted=" $wanted " '$1 == "installed" && index(wanted, " " $2 " ") { print "yes" }')
    [[ -n $installed ]] || missing+=("$pkg")
done

# Wine takes its ANSI code page from the locale: ja_JP.UTF-8 gives 932.
ensure_japanese_locale() {
    locale -a 2>/dev/null | grep -qix 'ja_JP.utf8' && return 0
    sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    locale-gen >/dev/null
}

if ((${#missing[@]} == 0)); then
    if ((windows && EUID == 0)); then ensure_japanese_locale; fi
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
if ((windows)); then ensure_japanese_locale; fi
