#!/bin/bash
# Creates a private test network, runs a command inside the program's namespace
# and removes everything of the run again on every exit path, signals included.
#
#   scripts/testnet.sh COMMAND [ARGS...]
#
# Every run has an id of its own, ID (hex of its start second and a random byte,
# never one that a live or unswept run holds), and with it
#   program namespace  tvx-prog-ID  veth tvxaID  10.77.0.1/24  02:77:00:00:00:01, route 255.255.255.255/32
#   peer namespace     tvx-peer-ID  veth tvxbID  10.77.0.2/24  02:77:00:00:00:02 (answers pings: the kernel does)
# and, with TARVEX_SECOND_LAN=1, a second LAN on the program's namespace:
#   program side                    veth tvxcID  10.78.0.1/24  02:78:00:00:00:01
#   lan2 namespace     tvx-lan2-ID  veth tvxdID  10.78.0.2/24  02:78:00:00:00:02
# and, with TARVEX_FAR_LAN=1, a LAN beyond a router, as a branch office or another VLAN:
#   program side                    veth tvxeID  10.79.0.1/24  02:79:00:00:00:01, route 10.80.0.0/24 via 10.79.0.2
#   router namespace   tvx-rtr-ID   veth tvxfID  10.79.0.2/24  (forwards, directed broadcasts too)
#                                   veth tvxgID  10.80.0.1/24
#   far namespace      tvx-far-ID   veth tvxhID  10.80.0.2/24  02:80:00:00:00:02, route back via 10.80.0.1;
#                                   named "far-pc" in the program's namespace's hosts file
# The MACs are the same in every run (unicast, locally administered): a case may write
# them down. Runs side by side do not meet: each has its own namespaces.
# With TARVEX_PC_LIST=N (1 to 250), the peer also holds 10.77.1.x/24 for x = 1..N but every
# eighth one, which nobody holds, and the program's side reaches 10.77.1.0/24 on its LAN;
# the file TARVEX_PC_LIST_FILE lists all N, one "10.77.1.x,02:77:01:00:00:XX,pc-x" a line
# (XX: x in hex), for the list command.
# Any user may ping from the program's namespace (net.ipv4.ping_group_range), as Windows
# lets a standard user.
# No namespace has a default route: nothing leaves them. The program's side reaches
# the veths' subnets and the limited broadcast, and resolves names through 10.77.0.2
# (/etc/netns/tvx-prog-ID/resolv.conf), so that a name query shows on the wire to the
# peer instead of going nowhere.
#
# The command sees
#   TARVEX_PROG_NS TARVEX_PEER_NS         the two namespaces
#   TARVEX_PROG_IF TARVEX_PEER_IF         the program's veth and the peer's
#   TARVEX_PROG_MAC TARVEX_PEER_MAC       their MACs (aa:bb:..., as above)
#   TARVEX_LAN2_NS                        with TARVEX_SECOND_LAN=1: the second LAN's namespace,
#   TARVEX_LAN2_IF TARVEX_LAN2_PEER_IF    the program's veth to it and the one inside it,
#   TARVEX_LAN2_MAC TARVEX_LAN2_PEER_MAC  and their MACs
#   TARVEX_PC_LIST_FILE                   with TARVEX_PC_LIST=N: the list of N PCs
#   TARVEX_SLEEPING_PEER                  scripts/sleeping-peer: a PC asleep on a LAN of the
#                                         program (the peer's, or the second one) until its
#                                         magic packet comes (see there)
#   TARVEX_ROUTER_NS TARVEX_FAR_NS        with TARVEX_FAR_LAN=1: the router's and the far LAN's
#   TARVEX_FAR_IF TARVEX_FAR_MAC          namespaces, the far PC's veth and its MAC, and the
#   TARVEX_ROUTER_IF                      program's veth to the router
#   TARVEX_RUN_ID                         the run's id (scripts/wine-ns accepts only its namespace)
#   TARVEX_TMPDIR, TMPDIR                 a private directory of the run (mode 0700); Wine
#                                         keeps its server directory there too
#   TARVEX_WINEPREFIX                     unless already set: the run's own Wine prefix, made
#                                         by scripts/wine-ns from a booted template
# With TARVEX_RUN_LOG=FILE, the run appends "ID INODE..." (its namespaces) to FILE, for a
# leak check afterwards.
#
# INT, TERM and HUP end every process of the run (TERM, then KILL) and remove its
# namespaces and directory within about 2 s. A run that was killed outright leaves its
# record (scripts/run-record.sh); the next run removes what such a run left.
set -euo pipefail

[ "$(id -u)" -eq 0 ] || exec sudo -E "$0" "$@"
[ $# -gt 0 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=run-record.sh
. "$here/run-record.sh"

id='' run_dir='' child=''
created=()

# Removes a dead run's processes, namespaces, resolver files and directory, then its record.
sweep_run() {
    local record=$1 dead=${1##*/} names dir name
    names=$(record_values "$record" ns)
    dir=$(record_values "$record" dir)
    # shellcheck disable=SC2046,SC2086
    end_run_processes "$dead" $(ns_inodes $names)
    for name in $names; do
        ip netns del "$name" 2>/dev/null || true
        rm -rf "/etc/netns/$name"
    done
    case $dir in /tmp/tvx-run-"$dead".*) rm -rf "$dir" ;; esac
    rm -f "$record"
    echo "testnet: removed what the ended run $dead left behind" >&2
}

cleanup() {
    local rc=$? name inodes
    trap '' INT TERM HUP
    trap - EXIT
    [ -n "$id" ] || exit "$rc"
    # shellcheck disable=SC2046
    inodes=$(ns_inodes "${created[@]}")
    [ -z "$child" ] || kill -TERM -- -"$child" 2>/dev/null || true
    # shellcheck disable=SC2086
    end_run_processes "$id" $inodes
    for name in "${created[@]}"; do
        ip netns del "$name" 2>/dev/null || true
        rm -rf "/etc/netns/$name"
    done
    [ -z "$run_dir" ] || rm -rf "$run_dir"
    rm -f "$run_records/$id"
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Under one lock: sweep the records of ended runs, then claim an id.
mkdir -p "$run_records"
exec 9>"$run_records/.lock"
flock 9
for record in "$run_records"/*; do
    [ -f "$record" ] && ! run_alive "$record" && sweep_run "$record"
done
while :; do
    candidate=$(printf '%08x%02x' "$(date +%s)" $((RANDOM % 256)))
    [ -e "$run_records/$candidate" ] || compgen -G "/run/netns/tvx-*-$candidate" >/dev/null || break
done
echo "owner $$ $(start_time $$)" >"$run_records/$candidate"
id=$candidate
exec 9>&-

run_dir=$(mktemp -d "/tmp/tvx-run-$id.XXXXXX")
echo "dir $run_dir" >>"$run_records/$id"
mkdir -m 700 "$run_dir/tmp"

add_ns() {  # add_ns NAME: a namespace of this run, recorded before it exists
    echo "ns $1" >>"$run_records/$id"
    ip netns add "$1"
    created+=("$1")
    ip -n "$1" link set lo up
}

export TARVEX_PROG_NS=tvx-prog-$id TARVEX_PEER_NS=tvx-peer-$id
export TARVEX_PROG_IF=tvxa$id TARVEX_PEER_IF=tvxb$id
export TARVEX_PROG_MAC=02:77:00:00:00:01 TARVEX_PEER_MAC=02:77:00:00:00:02
export TARVEX_SLEEPING_PEER=$here/sleeping-peer
add_ns "$TARVEX_PROG_NS"
add_ns "$TARVEX_PEER_NS"
# lan IF ADDRESS MAC NS PEER_IF PEER_ADDRESS PEER_MAC: a veth from the program's namespace to NS.
lan() {
    ip link add "$1" address "$3" netns "$TARVEX_PROG_NS" type veth peer name "$5" address "$7" netns "$4"
    ip -n "$TARVEX_PROG_NS" addr add "$2" dev "$1"
    ip -n "$4" addr add "$6" dev "$5"
    ip -n "$TARVEX_PROG_NS" link set "$1" up
    ip -n "$4" link set "$5" up
}
lan "$TARVEX_PROG_IF" 10.77.0.1/24 "$TARVEX_PROG_MAC" "$TARVEX_PEER_NS" "$TARVEX_PEER_IF" 10.77.0.2/24 "$TARVEX_PEER_MAC"
# Without a route for it the limited broadcast fails with "network unreachable".
ip -n "$TARVEX_PROG_NS" route add 255.255.255.255/32 dev "$TARVEX_PROG_IF"
# Any user of the program's side may ping, as Windows lets a standard user: Wine, run by
# someone else than root, sends its echo requests through Linux ping sockets.
ip netns exec "$TARVEX_PROG_NS" sysctl -qw net.ipv4.ping_group_range="0 2147483647"
# ip netns exec mounts this file over /etc/resolv.conf for the command.
mkdir -p "/etc/netns/$TARVEX_PROG_NS"
echo "nameserver 10.77.0.2" >"/etc/netns/$TARVEX_PROG_NS/resolv.conf"

if [ "${TARVEX_SECOND_LAN:-}" = 1 ]; then
    export TARVEX_LAN2_NS=tvx-lan2-$id TARVEX_LAN2_IF=tvxc$id TARVEX_LAN2_PEER_IF=tvxd$id
    export TARVEX_LAN2_MAC=02:78:00:00:00:01 TARVEX_LAN2_PEER_MAC=02:78:00:00:00:02
    add_ns "$TARVEX_LAN2_NS"
    lan "$TARVEX_LAN2_IF" 10.78.0.1/24 "$TARVEX_LAN2_MAC" "$TARVEX_LAN2_NS" "$TARVEX_LAN2_PEER_IF" 10.78.0.2/24 \
        "$TARVEX_LAN2_PEER_MAC"
fi

if [ "${TARVEX_FAR_LAN:-}" = 1 ]; then
    export TARVEX_ROUTER_NS=tvx-rtr-$id TARVEX_FAR_NS=tvx-far-$id TARVEX_FAR_IF=tvxh$id TARVEX_ROUTER_IF=tvxe$id
    export TARVEX_FAR_MAC=02:80:00:00:00:02
    add_ns "$TARVEX_ROUTER_NS"
    add_ns "$TARVEX_FAR_NS"
    lan "$TARVEX_ROUTER_IF" 10.79.0.1/24 02:79:00:00:00:01 "$TARVEX_ROUTER_NS" "tvxf$id" 10.79.0.2/24 02:79:00:00:00:02
    ip link add "tvxg$id" address 02:80:00:00:00:01 netns "$TARVEX_ROUTER_NS" type veth \
        peer name "$TARVEX_FAR_IF" address "$TARVEX_FAR_MAC" netns "$TARVEX_FAR_NS"
    ip -n "$TARVEX_ROUTER_NS" addr add 10.80.0.1/24 dev "tvxg$id"
    ip -n "$TARVEX_FAR_NS" addr add 10.80.0.2/24 dev "$TARVEX_FAR_IF"
    ip -n "$TARVEX_ROUTER_NS" link set "tvxg$id" up
    ip -n "$TARVEX_FAR_NS" link set "$TARVEX_FAR_IF" up
    # Routes to the two subnets only, never a default one.
    ip -n "$TARVEX_PROG_NS" route add 10.80.0.0/24 via 10.79.0.2
    ip -n "$TARVEX_FAR_NS" route add 10.79.0.0/24 via 10.80.0.1
    # A directed broadcast is forwarded only where both "all" and the device allow it.
    for key in net.ipv4.ip_forward net.ipv4.conf.all.bc_forwarding "net.ipv4.conf.tvxf$id.bc_forwarding" \
        "net.ipv4.conf.tvxg$id.bc_forwarding"; do
        ip netns exec "$TARVEX_ROUTER_NS" sysctl -qw "$key=1"
    done
    # ip netns exec mounts it over /etc/hosts, like resolv.conf.
    { cat /etc/hosts; echo "10.80.0.2 far-pc"; } >"/etc/netns/$TARVEX_PROG_NS/hosts"
fi

# shellcheck disable=SC2046
[ -z "${TARVEX_RUN_LOG:-}" ] || echo "$id" $(ns_inodes "${created[@]}") >>"$TARVEX_RUN_LOG"

export TARVEX_TMPDIR=$run_dir/tmp TMPDIR=$run_dir/tmp

if [ -n "${TARVEX_PC_LIST:-}" ]; then
    [[ $TARVEX_PC_LIST =~ ^[0-9]+$ ]] && [ "$TARVEX_PC_LIST" -ge 1 ] && [ "$TARVEX_PC_LIST" -le 250 ] ||
        { echo "testnet: TARVEX_PC_LIST takes 1 to 250, not '$TARVEX_PC_LIST'" >&2; exit 2; }
    export TARVEX_PC_LIST_FILE=$TARVEX_TMPDIR/pc-list.txt
    ip -n "$TARVEX_PROG_NS" route add 10.77.1.0/24 dev "$TARVEX_PROG_IF"
    for x in $(seq "$TARVEX_PC_LIST"); do
        printf '10.77.1.%d,02:77:01:00:00:%02x,pc-%d\n' "$x" "$x" "$x" >>"$TARVEX_PC_LIST_FILE"
        [ $((x % 8)) -eq 0 ] || echo "addr add 10.77.1.$x/24 dev $TARVEX_PEER_IF"
    done | ip -n "$TARVEX_PEER_NS" -batch -
fi
export TARVEX_WINEPREFIX=${TARVEX_WINEPREFIX:-$run_dir/prefix}
# In a process group of its own, so that a signal reaches this script's trap first
# and the command is not left ignoring SIGINT as a background job would.
set -m
env TARVEX_RUN_ID="$id" ip netns exec "$TARVEX_PROG_NS" "$@" &
child=$!
set +m
rc=0
wait "$child" || rc=$?
exit "$rc"
