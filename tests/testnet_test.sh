#!/bin/bash
# Proves that scripts/testnet.sh leaves nothing of a run behind and that runs do
# not collide:
#   1. SIGTERM while the command runs: within 3 s no process of the run is left and
#      its namespaces, resolver file, directory and record are gone;
#   2. what a run killed outright (SIGKILL) left, the next run removes;
#   3. two runs side by side, each through scripts/wine-ns: both pass;
#   4. the program's namespace resolves through the peer, and TARVEX_SECOND_LAN=1
#      adds a second LAN; no namespace has a default route; the veths have their fixed
#      MACs; TARVEX_PC_LIST=N lists N PCs, of which the peer holds all but every eighth;
#   5. a sleeping peer answers nothing until a magic packet for its MAC, and then from
#      its delay on; one still running when its run ends goes with the run.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
# shellcheck source=../scripts/run-record.sh
. "$repo/scripts/run-record.sh"
scratch=$(mktemp -d /tmp/tvx-testnet-test.XXXXXX)
log=$scratch/runs
: >"$log"
failures=0
cleanup() {
    [ -z "${TARVEX_RUN_LOG:-}" ] || cat "$log" >>"$TARVEX_RUN_LOG"
    rm -rf "$scratch"
}
trap cleanup EXIT
check() {  # check NAME CONDITION...
    local name=$1; shift
    if "$@"; then echo "ok: $name"; else echo "FAILED: $name" >&2; failures=$((failures + 1)); fi
}
testnet() { TARVEX_RUN_LOG=$log "$repo/scripts/testnet.sh" "$@"; }

gone() {  # gone ID INODE...: nothing of run ID is left
    [ -z "$(run_pids "$@")" ] && [ ! -e "$run_records/$1" ] &&
        ! compgen -G "/run/netns/tvx-*-$1" >/dev/null && ! compgen -G "/etc/netns/tvx-*-$1" >/dev/null &&
        ! compgen -G "/tmp/tvx-run-$1.*" >/dev/null
}

start_sleeper() {  # runs `testnet.sh sleep 600` until the sleep runs: sets sleeper (PID), run (id, inodes)
    local before
    before=$(wc -l <"$log")
    TARVEX_RUN_LOG=$log "$repo/scripts/testnet.sh" sleep 600 &
    sleeper=$!
    for _ in $(seq 200); do
        run=$(sed -n "$((before + 1))p" "$log")
        # shellcheck disable=SC2086
        [ -n "$run" ] && [ -n "$(run_pids $run)" ] && return
        sleep 0.05
    done
}

# 1. SIGTERM.
start_sleeper
kill -TERM "$sleeper"
begin=$(date +%s%N)
# shellcheck disable=SC2086
for _ in $(seq 40); do gone $run && break; sleep 0.1; done
elapsed_ms=$((($(date +%s%N) - begin) / 1000000))
# shellcheck disable=SC2086
check "SIGTERM: nothing of the run left after $elapsed_ms ms" gone $run
check "SIGTERM: within 3 s" test "$elapsed_ms" -le 3000
wait "$sleeper"

# 2. SIGKILL, then another run.
start_sleeper
kill -KILL "$sleeper"
wait "$sleeper" 2>/dev/null
# shellcheck disable=SC2086
check "SIGKILL: the run's sleep outlives it" test -n "$(run_pids $run)"
testnet true 2>/dev/null
# shellcheck disable=SC2086
check "SIGKILL: the next run removed what it left" gone $run

# 3. Two runs side by side, each long enough to overlap the other.
for n in 1 2; do
    testnet "$repo/scripts/wine-ns" cmd /c "echo run $n & ping -n 3 127.0.0.1 >nul" >"$scratch/out$n" 2>&1 &
    side[n]=$!
done
for n in 1 2; do
    wait "${side[n]}"
    rc=$?
    check "side by side: run $n passed (exit $rc)" test "$rc" -eq 0
    check "side by side: run $n ran its command" grep -q "run $n" "$scratch/out$n"
done

# 4. Resolver and second LAN, as the program's side sees them.
out=$(TARVEX_SECOND_LAN=1 TARVEX_PC_LIST=16 testnet bash -c '
    cat /etc/resolv.conf
    ip -o -4 addr show dev "$TARVEX_LAN2_IF"
    ip netns exec "$TARVEX_LAN2_NS" ip -o -4 addr show dev "$TARVEX_LAN2_PEER_IF"
    ping -c 1 -W 2 10.78.0.2 >/dev/null && echo "reached 10.78.0.2"
    for ns in "$TARVEX_PROG_NS" "$TARVEX_PEER_NS" "$TARVEX_LAN2_NS"; do ip -n "$ns" route show default; done
    echo "macs $TARVEX_PROG_MAC=$(cat /sys/class/net/"$TARVEX_PROG_IF"/address)" \
        "$TARVEX_PEER_MAC=$(ip netns exec "$TARVEX_PEER_NS" cat /sys/class/net/"$TARVEX_PEER_IF"/address)" \
        "$TARVEX_LAN2_MAC=$(cat /sys/class/net/"$TARVEX_LAN2_IF"/address)" \
        "$TARVEX_LAN2_PEER_MAC=$(ip netns exec "$TARVEX_LAN2_NS" cat /sys/class/net/"$TARVEX_LAN2_PEER_IF"/address)"
    echo "list of $(wc -l <"$TARVEX_PC_LIST_FILE"), last $(tail -1 "$TARVEX_PC_LIST_FILE")"
    for x in 1 7 8 9 16; do ping -c 1 -W 1 10.77.1.$x >/dev/null && echo "list: 10.77.1.$x answers"; done
    true' 2>&1)
for expected in "nameserver 10.77.0.2" "inet 10.78.0.1/24" "inet 10.78.0.2/24" "reached 10.78.0.2" \
    "macs 02:77:00:00:00:01=02:77:00:00:00:01 02:77:00:00:00:02=02:77:00:00:00:02" \
    "02:78:00:00:00:01=02:78:00:00:00:01 02:78:00:00:00:02=02:78:00:00:00:02" \
    "list of 16, last 10.77.1.16,02:77:01:00:00:10,pc-16"; do
    check "sees $expected" grep -qF "$expected" <<<"$out"
done
check "no default route" test "$(grep -c default <<<"$out")" -eq 0
check "list: the peer holds all but every eighth" \
    test "$(grep '^list: ' <<<"$out" | tr '\n' ' ')" = "list: 10.77.1.1 answers list: 10.77.1.7 answers list: 10.77.1.9 answers "

# 5. A sleeping peer at 10.77.0.50 woken 2 s after its magic packet, which it hears on
#    any of the three ports; what it saw is checked from its own output.
out=$(testnet bash -c '
    log=$TMPDIR/sleeper
    sleeper() {  # sleeper LOG: starts one at 10.77.0.50 and waits until it is asleep
        "$TARVEX_SLEEPING_PEER" 10.77.0.50 02:77:00:00:01:50 2 >"$1" 2>&1 &
        for _ in $(seq 100); do grep -q "^ready" "$1" && break; sleep 0.05; done
    }
    sleeper "$log"
    answers() { ping -c 1 -W 1 10.77.0.50 >/dev/null && echo "$1: answers" || echo "$1: silent"; }
    send() {  # send PORT MAC PASSWORD DESTINATION
        python3 -c "import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
s.sendto(b\"\\xff\" * 6 + bytes.fromhex(sys.argv[2].replace(\":\", \"\")) * 16 + sys.argv[3].encode(), (sys.argv[4], int(sys.argv[1])))" "$@"
    }
    answers asleep
    # Unicast through a neighbour entry: the frame reaches it, the echo request too.
    ip neigh replace 10.77.0.50 lladdr 02:77:00:00:01:50 nud permanent dev "$TARVEX_PROG_IF"
    answers "asleep, its MAC known"
    timeout 2 bash -c "</dev/tcp/10.77.0.50/22" 2>/dev/null; echo "tcp asleep: $?"
    send 40000 02:77:00:00:01:51 "" 255.255.255.255
    send 40000 02:77:00:00:01:50 12345 10.77.0.255
    answers "after other packets"
    send 9 02:77:00:00:01:50 secret 10.77.0.50
    sleep 1
    answers "1 s after its packet"
    sleep 1.5
    answers "2.5 s after its packet"
    timeout 2 bash -c "</dev/tcp/10.77.0.50/22" 2>/dev/null; echo "tcp awake: $?"
    send 7 02:77:00:00:01:50 "" 255.255.255.255
    sleep 0.2
    sed "s/^ready [0-9]*/ready/" "$log"
    # Ended, it leaves its MAC free at once; the second one is left to the end of the run.
    kill "$(sed -n "s/^ready //p" "$log")"
    wait
    sleeper "$log.2"
    sed "s/^ready [0-9]*/again: ready/" "$log.2"' 2>&1)
expected="asleep: silent
asleep, its MAC known: silent
tcp asleep: 124
after other packets: silent
1 s after its packet: silent
2.5 s after its packet: answers
tcp awake: 1
ready
magic packet from 10.77.0.1
awake
magic packet from 10.77.0.1
again: ready"
check "sleeping peer: what it answered and heard" test "$out" = "$expected"
[ "$out" = "$expected" ] || diff <(echo "$expected") <(echo "$out") >&2

while read -r line; do
    # shellcheck disable=SC2086
    check "run ${line%% *}: nothing left" gone $line
done <"$log"

if [ "$failures" -ne 0 ]; then echo "testnet: $failures check(s) failed" >&2; exit 1; fi
echo "testnet: all checks passed"
