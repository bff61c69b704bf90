#!/bin/bash
# Creates the test network, runs a command inside the program's namespace and
# removes the network again on every exit path.
#
#   scripts/testnet.sh COMMAND [ARGS...]
#
#   program namespace  tvx-prog-<pid>  veth tvxa<pid>  10.77.0.1/24, route 255.255.255.255/32
#   peer namespace     tvx-peer-<pid>  veth tvxb<pid>  10.77.0.2/24  (answers pings: the kernel does)
#   the program's resolver is 10.77.0.2 (/etc/netns/<prog ns>/resolv.conf), so that any
#   name query shows on the test network instead of going nowhere
#
# The command sees TARVEX_PROG_NS, TARVEX_PEER_NS, TARVEX_PROG_IF, TARVEX_PEER_IF.
# Nothing leaves the two namespaces: the program's side has no route but the
# veth's subnet and the broadcast address.
set -euo pipefail

[ "$(id -u)" -eq 0 ] || exec sudo -E "$0" "$@"

id=$$
export TARVEX_PROG_NS=tvx-prog-$id TARVEX_PEER_NS=tvx-peer-$id
export TARVEX_PROG_IF=tvxa$id TARVEX_PEER_IF=tvxb$id
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

cleanup() {
    local rc=$?
    trap - EXIT INT TERM
    # Stop the wineservers that ran in the namespace before it goes away.
    if ip netns pids "$TARVEX_PROG_NS" >/dev/null 2>&1; then
        for pid in $(ip netns pids "$TARVEX_PROG_NS"); do kill "$pid" 2>/dev/null || true; done
        sleep 0.5
        for pid in $(ip netns pids "$TARVEX_PROG_NS"); do kill -9 "$pid" 2>/dev/null || true; done
    fi
    if ip netns pids "$TARVEX_PEER_NS" >/dev/null 2>&1; then
        for pid in $(ip netns pids "$TARVEX_PEER_NS"); do kill -9 "$pid" 2>/dev/null || true; done
    fi
    ip netns del "$TARVEX_PROG_NS" 2>/dev/null || true
    rm -rf "/etc/netns/$TARVEX_PROG_NS"
    ip netns del "$TARVEX_PEER_NS" 2>/dev/null || true
    exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

ip netns add "$TARVEX_PROG_NS"
ip netns add "$TARVEX_PEER_NS"
ip link add "$TARVEX_PROG_IF" netns "$TARVEX_PROG_NS" type veth peer name "$TARVEX_PEER_IF" netns "$TARVEX_PEER_NS"
ip -n "$TARVEX_PROG_NS" link set lo up
ip -n "$TARVEX_PEER_NS" link set lo up
ip -n "$TARVEX_PROG_NS" addr add 10.77.0.1/24 dev "$TARVEX_PROG_IF"
ip -n "$TARVEX_PEER_NS" addr add 10.77.0.2/24 dev "$TARVEX_PEER_IF"
ip -n "$TARVEX_PROG_NS" link set "$TARVEX_PROG_IF" up
ip -n "$TARVEX_PEER_NS" link set "$TARVEX_PEER_IF" up
# Without a route for it the limited broadcast fails with "network unreachable".
ip -n "$TARVEX_PROG_NS" route add 255.255.255.255/32 dev "$TARVEX_PROG_IF"

# Written before the command enters the namespace: ip netns exec mounts it over
# /etc/resolv.conf there.
mkdir -p "/etc/netns/$TARVEX_PROG_NS"
echo "nameserver 10.77.0.2" >"/etc/netns/$TARVEX_PROG_NS/resolv.conf"

ip netns exec "$TARVEX_PROG_NS" "$@"
