#!/bin/bash
# Runs every test layer and ends with one summary line:
#   1. native unit tests (ASan/UBSan) and the fuzz targets for a bounded time;
#   2. the same unit tests plus the Win32 edge, cross-compiled, under Wine;
#   3. end to end: the real exe under Wine and Xvfb, driven from outside, with
#      real packets between two network namespaces; plus the wine-ns refusal check.
# Every Wine process runs inside the test network (scripts/testnet.sh).
set -uo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
start=$(date +%s)
results=$repo/build/results
rm -rf "$results"
mkdir -p "$results/native" "$results/wine"
declare -A status

step() {  # step NAME COMMAND...: runs a layer, remembers whether it passed
    local name=$1; shift
    echo "=== $name"
    if "$@"; then status[$name]=pass; else status[$name]=FAIL; fi
}

scripts/setup.sh || { echo "SUMMARY: set-up failed"; exit 1; }

step build-native scripts/build.sh native
if [ "${status[build-native]}" = pass ]; then
    step native ctest --test-dir build/native -j2 --output-on-failure --output-junit "$results/native/ctest.xml"
fi
step fuzz bash -c 'scripts/fuzz.sh | tee build/results/fuzz.txt'

step build-win32 scripts/build.sh win32
if [ "${status[build-win32]}" = pass ]; then
    step imports tests/check-imports.sh build/win32/tarvex-wol.exe
    # Windows unit tests and e2e, each writing its GoogleTest report (a
    # Windows path: the programs run under Wine).
    step wine scripts/testnet.sh scripts/xvfb-run.sh \
        env GTEST_OUTPUT="xml:Z:$(tr / '\\' <<<"$results/wine/")" ctest --test-dir build/win32 --output-on-failure
fi
step wine-ns-refusal tests/wine_ns_refusal_test.sh

summary=$(python3 tests/summarize.py "$results")
failed=0
for name in "${!status[@]}"; do [ "${status[$name]}" = pass ] || failed=1; done
verdict=$([ $failed -eq 0 ] && echo "ALL GREEN" || echo "FAILED: $(for n in "${!status[@]}"; do [ "${status[$n]}" = pass ] || printf '%s ' "$n"; done)")
echo "SUMMARY: $summary; $verdict; $(( $(date +%s) - start )) s"
exit $failed
