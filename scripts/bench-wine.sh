#!/bin/bash
# The Check command's latency, the probe's thread and handle counts, and a list of 240
# PCs woken and watched at once (TARVEX_PC_LIST: scripts/testnet.sh makes it), measured
# by the e2e driver's Bench cases under Wine in the test network (about 4 min), on the
# build that Wine runs on this machine (scripts/wine-arch.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=wine-arch.sh
. scripts/wine-arch.sh
wine_arch_choose
wine_arch_note
scripts/build.sh "$wine_build"
TARVEX_BENCH=1 TARVEX_PC_LIST=240 exec scripts/testnet.sh scripts/xvfb-run.sh scripts/wine-ns "build/$wine_build/e2e_tests.exe" \
    --program="build/$wine_build/tarvex-wol.exe" --gtest_filter='Bench*'
