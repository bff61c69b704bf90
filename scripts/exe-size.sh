#!/bin/bash
# What each change costs the exe we ship (its bound is in tests/check-exe.sh):
#   scripts/exe-size.sh REV...
# builds the 32-bit exe at each revision in turn, in one temporary worktree (so each
# step rebuilds only what changed), and prints its size and the change from the one
# before: the file's (which grows in steps of 512 bytes) and its sections' contents.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || { echo "usage: $0 REV..." >&2; exit 2; }
tree=$(mktemp -d /tmp/tarvex-size.XXXXXX)
git worktree add -q --detach "$tree" "$1"
trap 'git worktree remove --force "$tree"' EXIT
previous= previous_contents=
for rev in "$@"; do
    git -C "$tree" checkout -q --detach "$rev"
    "$tree/scripts/build.sh" win32 tarvex-wol >"$tree/build.log" 2>&1 || { cat "$tree/build.log" >&2; exit 1; }
    exe=$tree/build/win32/tarvex-wol.exe
    size=$(stat -c %s "$exe")
    contents=0; for hex in $(i686-w64-mingw32-objdump -h "$exe" | awk '$1 ~ /^[0-9]+$/ {print $3}'); do contents=$((contents + 16#$hex)); done
    change=${previous:+$(printf '%+d' $((size - previous)))}
    contents_change=${previous_contents:+$(printf '%+d' $((contents - previous_contents)))}
    printf '%s %7d bytes %6s, contents %7d %6s  %s\n' "$(git rev-parse --short "$rev")" "$size" "$change" \
        "$contents" "$contents_change" "$(git log -1 --format=%s "$rev" | cut -c1-60)"
    previous=$size previous_contents=$contents
done
