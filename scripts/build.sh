#!/bin/bash
# Configures and builds one of the builds:
#   scripts/build.sh native [TARGET]  Linux, portable code and unit tests, ASan/UBSan -> build/native
#   scripts/build.sh bench T  Linux, optimised, no sanitizers: benchmark T       -> build/bench
#   scripts/build.sh win32    the Windows program, its unit tests, e2e driver   -> build/win32
#   scripts/build.sh win64    the same, as 64-bit Windows programs              -> build/win64
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
case ${1:-} in native | bench | win32 | win64) ;; *) echo "usage: $0 native [TARGET] | bench TARGET | win32 [TARGET] | win64 [TARGET]" >&2; exit 2 ;; esac
# Every run in this checkout (make test, make demo, ...) shares the build
# directories: one build of each at a time.
mkdir -p build
exec 9>"build/.$1.lock"
flock 9
case ${1:-} in
native)
    cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug >/dev/null
    cmake --build build/native -j"$jobs" ${2:+--target "$2"}
    ;;
bench)
    # Optimised and without sanitizers: the build that timings are taken from.
    cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DTARVEX_SANITIZE=OFF >/dev/null
    cmake --build build/bench -j"$jobs" --target "${2:?which benchmark}"
    ;;
win32 | win64)
    toolchain=$([ "$1" = win32 ] && echo mingw-i686 || echo mingw-x86_64)
    cmake -S . -B "build/$1" -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "build/$1" -j"$jobs" ${2:+--target "$2"}
    ;;
esac
