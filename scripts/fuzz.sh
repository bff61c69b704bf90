#!/bin/sh
# Builds the libFuzzer targets with clang in build/fuzz and runs each for a bounded time.
# FUZZ_SECONDS sets the time per target (default 20). Exits non-zero when a target finds
# an input that breaks one of its properties or crashes; the input is left in
# build/fuzz/artifacts/ and belongs in the unit tests afterwards.
set -eu

cd "$(dirname "$0")/.."
SECONDS_EACH="${FUZZ_SECONDS:-20}"
BUILD=build/fuzz

# One build at a time: every run in this checkout shares build/fuzz.
mkdir -p build
(
    flock 9
    cmake -S . -B "$BUILD" -DTARVEX_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang >/dev/null
    cmake --build "$BUILD" -j2 >/dev/null
) 9>build/.fuzz.lock

status=0
for src in tests/fuzz/*_fuzz.cpp; do
    name=$(basename "$src" .cpp)
    corpus="$BUILD/corpus/$name"
    artifacts="$BUILD/artifacts/$name/"
    log="$BUILD/$name.log"
    mkdir -p "$corpus" "$artifacts"
    if "$BUILD/$name" -max_total_time="$SECONDS_EACH" -print_final_stats=1 \
            -artifact_prefix="$artifacts" "$corpus" >"$log" 2>&1; then
        result=ok
    else
        result=FAILED
        status=1
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    echo "$name: $result, ${runs:-?} executions in ${SECONDS_EACH} s"
    if [ "$result" = FAILED ]; then
        grep -E 'property violated|ERROR: |SUMMARY: |Test unit written' "$log" >&2 || tail -n 20 "$log" >&2
    fi
done
exit "$status"
