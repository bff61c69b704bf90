#!/bin/bash
# Runs every test layer and ends with one summary line:
#   1. native unit tests (ASan/UBSan) and the fuzz targets for a bounded time;
#   2. the same unit tests plus the Win32 edge, cross-compiled, under Wine;
#   3. end to end: the real exe under Wine and Xvfb, driven from outside, with
#      real packets between two network namespaces, run by root and, in a few cases,
#      by a standard user; plus the wine-ns refusal and test network checks;
# and finally a leak check: nothing of this run's test networks may be left.
# With --wine-only it runs only what Wine runs (the Windows builds, the Wine layers,
# the leak check): scripts/fresh-machine.sh runs it so, as on a machine where Wine has
# never run.
# Every Wine process runs inside the test network (scripts/testnet.sh). Runs in one
# checkout may overlap: each has its results in build/results/run-*, and
# build/results/latest names the newest finished one.
set -uo pipefail
cd "$(dirname "$0")/.." || exit
wine_only=
[ "${1:-}" = --wine-only ] && wine_only=1
repo=$(pwd)
start=$(date +%s)
mkdir -p build/results
results=$(mktemp -d "$repo/build/results/run-$(date +%Y%m%d-%H%M%S).XXXX")
chmod 755 "$results"
mkdir -p "$results/native" "$results/wine"
# Every test network of this run writes its id here (scripts/testnet.sh).
export TARVEX_RUN_LOG=$results/test-networks.txt
: >"$TARVEX_RUN_LOG"
# Wine's error lines and the exit status of every Windows program that failed
# (scripts/wine-ns), shown under a failed step.
export TARVEX_WINE_LOG=$results/wine/wine.log
: >"$TARVEX_WINE_LOG"
declare -A status

step() {  # step NAME COMMAND...: runs a layer, remembers whether it passed
    local name=$1; shift
    echo "=== $name"
    if "$@"; then status[$name]=pass; else status[$name]=FAIL; fi
}

scripts/setup.sh || { echo "SUMMARY: set-up failed"; exit 1; }

if [ -z "$wine_only" ]; then
    step build-native scripts/build.sh native
    if [ "${status[build-native]}" = pass ]; then
        step native ctest --test-dir build/native -j2 --output-on-failure --output-junit "$results/native/ctest.xml"
    fi
    step fuzz bash -c 'scripts/fuzz.sh | tee "$1/fuzz.txt"' fuzz "$results"
fi

# The exe we ship is always built and checked; Wine runs it where this machine
# can run 32-bit programs, and the 64-bit build of the same sources otherwise
# (scripts/wine-arch.sh; TARVEX_WINE_ARCH forces either).
step build-win32 scripts/build.sh win32
[ "${status[build-win32]}" = pass ] && step exe-win32 tests/check-exe.sh build/win32/tarvex-wol.exe win32
# The release zip of that exe, checked (make dist).
[ "${status[build-win32]}" = pass ] && step dist scripts/dist.sh
# shellcheck source=wine-arch.sh
. scripts/wine-arch.sh
step wine-arch wine_arch_choose
if [ "${status[wine-arch]}" = pass ]; then
    echo "$TARVEX_WINE_ARCH" >"$results/wine-arch"
    wine_arch_note
    if [ "$wine_build" != win32 ]; then
        step "build-$wine_build" scripts/build.sh "$wine_build"
        [ "${status[build-$wine_build]}" = pass ] &&
            step "exe-$wine_build" tests/check-exe.sh "build/$wine_build/tarvex-wol.exe" "$wine_build"
    fi
    if [ "${status[build-$wine_build]}" = pass ]; then
        # Windows unit tests and e2e, each writing its GoogleTest report (a
        # Windows path: the programs run under Wine). The program's namespace has a
        # second LAN, so that the cases see the magic packet reach both, and a LAN
        # beyond a router.
        step wine env TARVEX_SECOND_LAN=1 TARVEX_FAR_LAN=1 scripts/testnet.sh scripts/xvfb-run.sh \
            env GTEST_OUTPUT="xml:Z:$(tr / '\\' <<<"$results/wine/")" ctest --test-dir "build/$wine_build" --output-on-failure
        # The program as a standard user: its own Linux user, prefix and wineserver in a
        # test network of its own.
        step standard-user env TARVEX_SECOND_LAN=1 scripts/testnet.sh scripts/xvfb-run.sh tests/standard_user_e2e.sh \
            "build/$wine_build/tarvex-wol.exe" "$results/standard-user"
    fi
fi
if [ -z "$wine_only" ]; then
    step wine-ns-refusal tests/wine_ns_refusal_test.sh
    step testnet tests/testnet_test.sh
fi

# Fails when a namespace, resolver file, directory (prefix, temporary files) or
# process (wineserver, Xvfb, tshark, the program, ...) of one of this run's test
# networks is still there.
leak_check() {
    local id inodes found=0 leftover pids
    . scripts/run-record.sh
    while read -r id inodes; do
        for leftover in /run/netns/tvx-*-"$id" /etc/netns/tvx-*-"$id" /tmp/tvx-run-"$id".* "$run_records/$id"; do
            [ -e "$leftover" ] || continue
            echo "leak: $leftover" >&2
            found=1
        done
        # shellcheck disable=SC2086
        pids=$(run_pids "$id" $inodes)
        if [ -n "$pids" ]; then
            # shellcheck disable=SC2086
            ps -o pid=,comm= -p $pids | sed "s/^/leak: process of test network $id: /" >&2
            found=1
        fi
    done <"$TARVEX_RUN_LOG"
    echo "leak check: $(wc -l <"$TARVEX_RUN_LOG") test networks, $([ $found -eq 0 ] && echo "nothing left" || echo "LEFT OVERS")"
    return $found
}
step leak-check leak_check

# A failed Wine step names what failed and shows what Wine said, even where the test
# program printed nothing.
if [ "${status[wine]:-pass}" != pass ] && [ -s "$TARVEX_WINE_LOG" ]; then
    echo "--- the wine step failed; Wine's error lines and exit statuses ($TARVEX_WINE_LOG), the last 30:"
    grep -E '^(wine-ns: |wine: |err:|[0-9a-f]{4}:err:)' "$TARVEX_WINE_LOG" | tail -n 30 | sed 's/^/    /'
fi
summary=$(python3 tests/summarize.py "$results")
failed=0
for name in "${!status[@]}"; do [ "${status[$name]}" = pass ] || failed=1; done
verdict=$([ $failed -eq 0 ] && echo "ALL GREEN" || echo "FAILED: $(for n in "${!status[@]}"; do [ "${status[$n]}" = pass ] || printf '%s ' "$n"; done)")
if [ "${status[wine]:-pass}" != pass ]; then
    ended=$(grep -ho 'wine-ns: .*' "$TARVEX_WINE_LOG" | sed 's/^wine-ns: //' | sort -u | paste -sd ';' -)
    [ -z "$ended" ] || verdict+="(wine: $ended) "
fi
ln -sfn "$(basename "$results")" build/results/latest
echo "SUMMARY: $summary; $verdict; $(( $(date +%s) - start )) s"
exit $failed
