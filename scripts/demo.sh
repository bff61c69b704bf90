#!/bin/bash
# Starts TARVEX WOL inside a two-host test network, the safe way to try the
# whole flow without a LAN:
#   this program  10.77.0.1   (its own namespace; broadcasts go only to the peer)
#   peer          10.77.0.2   answers pings; prints every magic packet it receives
# The program shows on your display, or on a private Xvfb when there is none.
# Everything is torn down when the program ends (or on Ctrl-C).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")

# shellcheck source=wine-arch.sh
. "$here/wine-arch.sh"
wine_arch_choose
if [ "${TARVEX_IN_TESTNET:-}" != 1 ]; then
    wine_arch_note
    "$here/build.sh" "$wine_build" tarvex-wol >/dev/null
    exec env TARVEX_IN_TESTNET=1 "$here/testnet.sh" "$0" "$@"
fi

echo "demo: peer 10.77.0.2 is up and answers pings; try Check, Get MAC or Turn on PC with it."
echo "demo: 10.77.0.3 is silent. Magic packets the peer receives are listed below."
ip netns exec "$TARVEX_PEER_NS" tshark -l -i "$TARVEX_PEER_IF" -f 'udp' -Y wol \
    -T fields -E occurrence=f -E separator=' ' \
    -e ip.src -e ip.dst -e udp.dstport -e udp.length -e wol.mac -e wol.passwd 2>/dev/null |
    while read -r src dst port length mac password; do
        echo "peer: magic packet from $src to $dst port $port, UDP length $length, MAC $mac${password:+, password $password}"
    done &

export TARVEX_WINEPREFIX=$repo/build/wine-demo$wine_suffix
program=("$here/wine-ns" "$repo/build/$wine_build/tarvex-wol.exe")
status=0
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    "${program[@]}" || status=$?
else
    echo "demo: no usable display; running on a private Xvfb (Ctrl-C ends the demo)."
    "$here/xvfb-run.sh" "${program[@]}" || status=$?
fi
# The program always ends with exit code 24.
[ "$status" -eq 24 ] && exit 0
exit "$status"
