#!/bin/bash
# Proves that scripts/wine-ns refuses to start Wine where its sockets could
# reach another network, that it says which refusal it is, and that it runs and
# boots nothing when it refuses:
#   1. outside the program's namespace of its own run (the machine's own, the peer's);
#   2. inside it while the prefix's wineserver runs in another namespace, the
#      prefix named directly or through a symbolic link;
# and that a template whose boot fails is said so, and never reused (3).
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
scratch=$(mktemp -d /tmp/tvx-refusal.XXXXXX)
failures=0
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null && wait "$server" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
check() {  # check NAME CONDITION...
    local name=$1; shift
    if "$@"; then echo "ok: $name"; else echo "FAILED: $name" >&2; failures=$((failures + 1)); fi
}
outside_msg="not inside the test network namespace of this run"
server_msg="runs in network namespace"
marker=$scratch/marker
run_marker=(cmd /c "echo ran > Z:${marker//\//\\}")

refused() {  # refused NAME RC OUTPUT SAYS NOT_SAYS: refused with the right reason, ran nothing
    check "$1: refused (exit $2)" test "$2" -eq 97
    check "$1: says \"$4\"" grep -q "$4" <<<"$3"
    check "$1: does not say \"$5\"" test "$(grep -c "$5" <<<"$3")" -eq 0
    check "$1: ran nothing" test ! -e "$marker"
}

# 1. Where, and what it must say.
for where in "own network" "peer namespace"; do
    case $where in
    "own network") out=$(TARVEX_WINEPREFIX=$scratch/never "$repo/scripts/wine-ns" "${run_marker[@]}" 2>&1) ;;
    "peer namespace") out=$(TARVEX_WINEPREFIX=$scratch/never "$repo/scripts/testnet.sh" bash -c \
        'ip netns exec "$TARVEX_PEER_NS" "$@"' - "$repo/scripts/wine-ns" "${run_marker[@]}" 2>&1) ;;
    esac
    refused "$where" $? "$out" "$outside_msg" "$server_msg"
    check "$where: made no prefix" test ! -e "$scratch/never"
done

# 2. A wineserver of the prefix in a scratch namespace without links (whatever it
#    might send goes nowhere), its server directory in the scratch directory; the
#    wineserver of the Wine that scripts/wine-ns would run.
# shellcheck source=../scripts/wine-arch.sh
. "$repo/scripts/wine-arch.sh"
wine_arch_choose || exit
mkdir -p "$scratch/outside"
ln -s outside "$scratch/link"
TMPDIR=$scratch WINEPREFIX=$scratch/outside WINEDEBUG=-all unshare -n "$wineserver_cmd" -f -p &
server=$!
# Ready once it works in its server directory.
for _ in $(seq 100); do
    case $(readlink "/proc/$server/cwd" 2>/dev/null) in */server-*) break ;; esac
    sleep 0.1
done
for prefix in "$scratch/outside" "$scratch/link"; do
    out=$(TARVEX_WINEPREFIX=$prefix "$repo/scripts/testnet.sh" "$repo/scripts/wine-ns" "${run_marker[@]}" 2>&1)
    refused "${prefix##*/}" $? "$out" "$server_msg" "$outside_msg"
    check "${prefix##*/}: did not boot the prefix" test ! -e "$scratch/outside/system.reg"
done

# 3. A template whose boot fails (here Wine's loader is a stand-in that fails, in a
#    mount namespace of this check alone) is tried twice, said in one line each time,
#    never marked ready nor left behind; the run's Wine log has the same lines.
printf '#!/bin/sh\nexit 7\n' >"$scratch/failing-wine"
chmod 755 "$scratch/failing-wine"
out=$(TARVEX_WINE_TEMPLATES=$scratch/templates TARVEX_WINEPREFIX=$scratch/prefix TARVEX_WINE_LOG=$scratch/wine.log \
    unshare --mount --propagation private bash -c '
    for loader in /usr/lib/wine/wine /usr/lib/wine/wine64; do mount --bind "$1" "$loader"; done
    exec "$2/scripts/testnet.sh" "$2/scripts/wine-ns" "${@:3}"' - "$scratch/failing-wine" "$repo" "${run_marker[@]}" 2>&1)
rc=$?
check "failed boot: exit 98" test "$rc" -eq 98
check "failed boot: said twice, naming the step and its status" \
    test "$(grep -c 'could not be made (try [12]): boot exited with status 7' <<<"$out")" -eq 2
check "failed boot: the same lines in the Wine log" test "$(grep -c 'could not be made' "$scratch/wine.log")" -eq 2
check "failed boot: no template left" test -z "$(ls -A "$scratch/templates" | grep -v '\.lock$\|\.boot\.log$')"
check "failed boot: no prefix made" test ! -e "$scratch/prefix/.tarvex-ready"
check "failed boot: ran nothing" test ! -e "$marker"

if [ "$failures" -ne 0 ]; then echo "wine-ns refusal: $failures check(s) failed" >&2; exit 1; fi
echo "wine-ns refusal: all checks passed"
