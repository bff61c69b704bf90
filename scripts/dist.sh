#!/bin/bash
# The release (make dist): dist/tarvex-wol-<version>.zip holding the 32-bit exe, its
# usage text (what /? says, the exit codes included) and SHA256SUMS of both, then
# checked (tests/check-dist.sh). The version is the project's (CMakeLists.txt), as the
# exe's version block has it. The same sources give the same zip: its files carry the
# time of the last commit.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
scripts/build.sh win32 tarvex-wol >/dev/null
scripts/build.sh native usage_text >/dev/null
version=$(sed -n 's/^#define TARVEX_VERSION_TEXT "\(.*\)"$/\1/p' build/win32/generated/version.h)
[ -n "$version" ] || { echo "dist: no version in build/win32/generated/version.h" >&2; exit 1; }
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp build/win32/tarvex-wol.exe "$stage/"
# Line ends as Notepad wants them, on XP too.
{
    echo "TARVEX WOL $version - Wake On Lan"
    echo "Runs on Windows XP SP3 and every later version, 32-bit and 64-bit."
    echo
    echo "Without arguments the program opens its window. With arguments it runs from a"
    echo "command prompt, PowerShell, a shortcut or a scheduled task:"
    echo
    build/native/usage_text
} | sed 's/$/\r/' >"$stage/tarvex-wol.txt"
(cd "$stage" && sha256sum tarvex-wol.exe tarvex-wol.txt >SHA256SUMS)
stamp=$(TZ=UTC git log -1 --format=%cd --date=format-local:%Y%m%d%H%M.%S 2>/dev/null || echo 202601010000.00)
TZ=UTC touch -t "$stamp" "$stage"/*
mkdir -p dist
zip=dist/tarvex-wol-$version.zip
rm -f "$zip.tmp"
(cd "$stage" && TZ=UTC zip -q -X -D "$repo/$zip.tmp" tarvex-wol.exe tarvex-wol.txt SHA256SUMS)
mv -f "$zip.tmp" "$zip"
tests/check-dist.sh "$zip" build/win32/tarvex-wol.exe
echo "dist: $zip"
