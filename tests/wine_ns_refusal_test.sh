#!/bin/bash
# Proves that scripts/wine-ns refuses to start Wine where its sockets could
# reach the real network, and that it runs nothing when it refuses:
#   1. outside any test namespace;
#   2. inside the test namespace while the prefix's wineserver runs outside it.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
scratch=$(mktemp -d /tmp/tvx-refusal.XXXXXX)
failures=0
server=
cleanup() {
    [ -n "$server" ] && WINEPREFIX=$scratch/outside wineserver -k 2>/dev/null
    [ -n "$server" ] && wait "$server" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
check() {  # check NAME CONDITION...
    local name=$1; shift
    if "$@"; then echo "ok: $name"; else echo "FAILED: $name" >&2; failures=$((failures + 1)); fi
}

# 1. In the machine's own namespace.
out=$(TARVEX_WINEPREFIX=$scratch/never "$repo/scripts/wine-ns" cmd /c echo ran 2>&1); rc=$?
check "refuses outside the test network (exit $rc)" test "$rc" -eq 97
check "says why" grep -q "not inside a test network namespace" <<<"$out"
check "creates no prefix" test ! -e "$scratch/never"

# 2. A wineserver for the prefix started outside; Wine asked to run inside.
mkdir -p "$scratch/outside"
WINEPREFIX=$scratch/outside WINEARCH=win32 WINEDEBUG=-all wineserver -f -p &
server=$!
# Ready once it works in its server directory.
for _ in $(seq 100); do
    case $(readlink "/proc/$server/cwd" 2>/dev/null) in */server-*) break ;; esac
    sleep 0.1
done
out=$(TARVEX_WINEPREFIX=$scratch/outside "$repo/scripts/testnet.sh" \
      "$repo/scripts/wine-ns" cmd /c "echo ran > $scratch/marker" 2>&1); rc=$?
check "refuses when the prefix's wineserver is outside (exit $rc)" test "$rc" -eq 97
check "names the wineserver's namespace" grep -q "runs in network namespace" <<<"$out"
check "ran nothing" test ! -e "$scratch/marker"
check "did not boot the prefix" test ! -e "$scratch/outside/system.reg"

if [ "$failures" -ne 0 ]; then echo "wine-ns refusal: $failures check(s) failed" >&2; exit 1; fi
echo "wine-ns refusal: all checks passed"
