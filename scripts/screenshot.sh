#!/bin/bash
# Writes a PNG of the main dialog, drawn by the real program under Wine and
# Xvfb inside the test network.
#   scripts/screenshot.sh [OUTPUT.png]      (default build/screenshots/main-dialog.png)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
out=$(realpath -m "${1:-$repo/build/screenshots/main-dialog.png}")
mkdir -p "$(dirname "$out")"

# shellcheck source=wine-arch.sh
. "$here/wine-arch.sh"
wine_arch_choose
if [ "${TARVEX_IN_TESTNET:-}" != 1 ]; then
    wine_arch_note
    "$here/build.sh" "$wine_build" tarvex-wol >/dev/null
    exec env TARVEX_IN_TESTNET=1 "$here/testnet.sh" "$here/xvfb-run.sh" "$0" "$out"
fi

exe=$repo/build/$wine_build/tarvex-wol.exe
"$here/wine-ns" "$exe" &
program=$!
trap 'kill $program 2>/dev/null || true' EXIT
caption='TARVEX WOL - Wake On Lan'
for _ in $(seq 200); do
    window=$(xdotool search --name "^$caption\$" 2>/dev/null | head -1) && [ -n "$window" ] && break
    sleep 0.1
done
[ -n "${window:-}" ] || { echo "screenshot: the main dialog did not appear" >&2; exit 1; }
sleep 1  # let it paint
import -window root -crop "$(xdotool getwindowgeometry --shell "$window" | awk -F= '
    /^X=/{x=$2} /^Y=/{y=$2} /^WIDTH=/{w=$2} /^HEIGHT=/{h=$2} END{printf "%dx%d+%d+%d", w, h, x, y}')" "$out"
echo "screenshot: $out"
