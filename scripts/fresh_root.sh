#!/usr/bin/env bash
# Runs a command in a freshly made minimal Debian 12 root, as on a machine
# that has nothing installed yet: the honest check of the README's commands.
#   fresh_root.sh COMMAND [ARG...]
# for example: bash scripts/fresh_root.sh bash scripts/demo.sh
# The root is made with mmdebstrap (--variant=minbase) in a temporary
# directory, from the archive that this machine's own apt sources name. The
# committed state of this checkout is cloned to /root/vordex inside (changes
# not yet committed are not part of it), and COMMAND runs there under chroot,
# with /proc, /dev and /sys mounted, no standard input and a plain
# environment (CI is passed on). The mounts live in a mount namespace of the
# run's own and every process of the run in a PID namespace of its own, so
# however the run ends nothing is left mounted or running; the root is then
# removed. Exits with COMMAND's status, or 1 when the root cannot be made.
set -euo pipefail
# shellcheck source-path=SCRIPTDIR source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

(($# > 0)) || vordex_die "usage: fresh_root.sh COMMAND [ARG...]"
((EUID == 0)) || vordex_die "needs root: mmdebstrap, mount and chroot do"
for tool in mmdebstrap git unshare chroot; do
    command -v "$tool" >/dev/null ||
        vordex_die "cannot make a fresh root: $tool is missing (bash scripts/install_deps.sh installs it)"
done

# The archive this machine uses: its apt source files, as apt reads them.
sources=()
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [[ -f $file ]] && grep -Eq '^[[:space:]]*(deb |Types:)' "$file" && sources+=("$file")
done
((${#sources[@]})) || vordex_die "cannot make a fresh root: no apt sources in /etc/apt to take the archive from"
# The settings of this machine's apt for reaching the archive (a proxy,
# Release files kept past their validity) hold inside the root too.
aptopts=()
while IFS= read -r setting; do
    aptopts+=(--aptopt="$setting")
done < <(apt-config dump --no-empty --format '%f "%v";%n' Acquire | grep -E '::(Proxy|Check-Valid-Until|Check-Date)' || true)

checkout=$(git -C "$VORDEX_SCRIPTS/.." rev-parse --show-toplevel)
root=$(mktemp -d "${TMPDIR:-/tmp}/vordex-root.XXXXXX")
run_pid=
cleanup() {
    # A run still going (the script was interrupted) ends with its namespace.
    [[ -n $run_pid ]] && kill -KILL "$run_pid" 2>/dev/null && wait "$run_pid" 2>/dev/null
    rm -rf --one-file-system -- "$root" || vordex_log "could not remove $root"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

vordex_log "making a minimal Debian 12 root in $root"
if ! mmdebstrap --quiet --variant=minbase "${aptopts[@]}" bookworm "$root" "${sources[@]}" </dev/null; then
    vordex_die "cannot make a fresh root: mmdebstrap failed (is Debian's archive reachable from here?)"
fi
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
git clone --quiet --no-hardlinks "$checkout" "$root/root/vordex"
vordex_log "running in the fresh root: $*"

# Inside the namespaces: mount, enter the root, run the command. When the
# command (the namespace's first process) ends, the kernel ends every other
# process of the run and drops the mounts.
inside='root=$1; shift
mount -t proc proc "$root/proc" && mount --rbind /dev "$root/dev" && mount --rbind /sys "$root/sys" || exit 1
exec chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 ${CI:+CI="$CI"} /bin/sh -c '\''cd /root/vordex && exec "$@"'\'' sh "$@"'
# Inside another fresh root (a chroot, whose "/" is no mount point) the
# mounts cannot be made private again; that root's namespace is already.
propagation=private
mountpoint -q / || propagation=unchanged
status=0
unshare --mount --propagation "$propagation" --pid --fork --kill-child=SIGKILL \
    bash -c "$inside" fresh_root "$root" "$@" </dev/null &
run_pid=$!
wait "$run_pid" || status=$?
run_pid=
vordex_log "the command ended with status $status; removing the root"
exit "$status"
