#!/bin/bash
# Runs a command as on a machine where Wine has never run, to catch what only a
# newcomer's first `make test` would meet:
#
#   scripts/fresh-machine.sh [--keep-32bit] [COMMAND [ARGS...]]
#
# COMMAND defaults to the Wine layers of `make test` (scripts/test-all.sh --wine-only).
# It runs in a mount namespace of its own, gone with it, where
#   - HOME is a new empty directory and the XDG directories are unset: no ~/.cache,
#     ~/.config or ~/.local of Wine, fontconfig or anything else;
#   - the Wine templates live in a new empty directory (TARVEX_WINE_TEMPLATES), so the
#     first Wine process boots one, as on a clean clone;
#   - the 32-bit Wine loader and server fail with "Exec format error", as on the machines
#     whose kernel runs no 32-bit programs (most of ours: there the 64-bit build runs
#     under 64-bit Wine); --keep-32bit leaves them as they are;
# and the page cache is dropped before it starts, so that Wine's files are read from disk
# as after their install (this, and only this, reaches beyond the namespace: other
# programs of the machine lose their cached files too). Wine's server directories are new
# in any case: each test network run has a TMPDIR of its own.
#
# What it cannot reproduce: the packages' install in the same run (they are installed
# already), a machine's own slower disk or processor, a kernel that really cannot run
# 32-bit programs (here only Wine's own 32-bit programs are refused), and state outside
# HOME, /tmp and the checkout (system-wide caches such as /var/cache/fontconfig stay).
set -euo pipefail

[ "$(id -u)" -eq 0 ] || exec sudo -E "$0" "$@"
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")

keep32=
if [ "${1:-}" = --keep-32bit ]; then
    keep32=1
    shift
fi
[ $# -gt 0 ] || set -- "$repo/scripts/test-all.sh" --wine-only

if [ "${TARVEX_FRESH_INSIDE:-}" != 1 ]; then
    sync
    echo 3 >/proc/sys/vm/drop_caches || echo "fresh-machine: could not drop the page cache" >&2
    export TARVEX_FRESH_INSIDE=1 TARVEX_FRESH_KEEP32=$keep32
    exec unshare --mount --propagation private -- "$0" "$@"
fi

# Inside the mount namespace from here on.
fresh=$(mktemp -d /tmp/tvx-fresh.XXXXXX)
trap 'rm -rf "$fresh"' EXIT
mkdir -p "$fresh/home" "$fresh/templates"
if [ "${TARVEX_FRESH_KEEP32:-}" != 1 ]; then
    # Not an ELF file the kernel knows: execve fails with ENOEXEC, as a kernel without
    # 32-bit support answers every 32-bit program.
    printf '\0\0\0\0not a program this kernel can run\n' >"$fresh/no-32bit"
    chmod 755 "$fresh/no-32bit"
    for program in /usr/lib/wine/wine /usr/lib/wine/wineserver32; do
        [ -e "$program" ] && mount --bind "$fresh/no-32bit" "$program"
    done
fi
unset XDG_CACHE_HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_STATE_HOME XDG_RUNTIME_DIR TARVEX_WINE_ARCH
export HOME=$fresh/home TARVEX_WINE_TEMPLATES=$fresh/templates
echo "fresh-machine: new HOME, no Wine template, page cache dropped$([ "${TARVEX_FRESH_KEEP32:-}" = 1 ] ||
    echo ", no 32-bit programs")" >&2
cd "$repo"
"$@"
