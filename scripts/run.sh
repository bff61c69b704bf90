#!/bin/bash
# Builds what is needed and starts TARVEX WOL on the user's display through
# Wine, in a 32-bit prefix of its own (~/.local/share/tarvex-wol/wine), so
# that its address cache stays in one place and other prefixes are untouched.
# Where this machine cannot run 32-bit programs: the 64-bit build in a 64-bit
# prefix (~/.local/share/tarvex-wol/wine-win64), said in one line.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "make run: no display (DISPLAY is not set); to try the program without one, use 'make demo'" >&2
    exit 1
fi
scripts/setup.sh
# shellcheck source=wine-arch.sh
. scripts/wine-arch.sh
wine_arch_choose
wine_arch_note
scripts/build.sh "$wine_build" tarvex-wol >/dev/null
export WINEPREFIX=${XDG_DATA_HOME:-$HOME/.local/share}/tarvex-wol/wine$wine_suffix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$(dirname "$WINEPREFIX")"
# The program always ends with exit code 24; anything else is a real failure.
status=0
"$wine_cmd" "build/$wine_build/tarvex-wol.exe" || status=$?
[ "$status" -eq 24 ] && exit 0
exit "$status"
