#!/bin/bash
# The Check command's latency and the probe's thread and handle counts, measured by
# the e2e driver's Bench cases under Wine in the test network (about 3 min), on the
# build that Wine runs on this machine (scripts/wine-arch.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=wine-arch.sh
. scripts/wine-arch.sh
wine_arch_choose
wine_arch_note
scripts/build.sh "$wine_build"
TARVEX_BENCH=1 exec scripts/testnet.sh scripts/xvfb-run.sh scripts/wine-ns "build/$wine_build/e2e_tests.exe" \
    --program="build/$wine_build/tarvex-wol.exe" --gtest_filter='Bench*'
