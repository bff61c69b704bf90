# shellcheck shell=bash
# Records of the test network's runs, shared by scripts/testnet.sh, scripts/wine-ns
# and the leak check of scripts/test-all.sh (sourced, not run).
#
# Each run of scripts/testnet.sh keeps the file $run_records/ID while it lives:
#   owner PID START     the testnet.sh process (START: its start time in clock ticks,
#                       so that a recycled PID is not taken for the owner)
#   dir PATH            the run's private directory (prefix, temporary files)
#   ns NAME             each network namespace of the run, written before it is made
# Every process of a run carries TARVEX_RUN_ID=ID in its environment.

# shellcheck disable=SC2034  # used by the scripts that source this file
run_records=/run/tarvex-testnet

# Prints the start time of process PID, or nothing when there is no such process.
start_time() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 0
    # The command name may hold spaces and parentheses; the fields after it do not.
    stat=${stat##*) }
    # shellcheck disable=SC2086
    set -- $stat
    echo "${20}"
}

# True when the run whose record is FILE still has its owner.
run_alive() {
    local tag pid start
    read -r tag pid start <"$1" 2>/dev/null || return 1
    [ "$tag" = owner ] && [ -n "$pid" ] && [ "$(start_time "$pid")" = "$start" ]
}

# Prints the values of the lines KEY of record FILE.
record_values() {
    awk -v key="$2" '$1 == key { print $2 }' "$1" 2>/dev/null
}

# Prints the network namespace inode of each NAME still mounted under /run/netns.
ns_inodes() {
    local name
    for name in "$@"; do stat -L -c %i "/run/netns/$name" 2>/dev/null || true; done
}

# Prints the PIDs of run ID's processes: those carrying its id and those inside one of
# the network namespaces INODE..., except the calling shell. Threads are looked at one
# by one: a Wine process may live on in its threads after its main thread ended.
run_pids() {
    local id=$1
    shift
    {
        grep -lsxz -- "TARVEX_RUN_ID=$id" /proc/[0-9]*/task/[0-9]*/environ | cut -d/ -f3
        if [ $# -gt 0 ]; then
            stat -L -c '%i %n' /proc/[0-9]*/task/[0-9]*/ns/net 2>/dev/null |
                awk -v want=" $* " 'index(want, " " $1 " ") { split($2, part, "/"); print part[3] }'
        fi
    } | sort -un | grep -vx -e "$$" -e "${BASHPID:-$$}" || true
}

# Ends run ID's processes (see run_pids): TERM, and KILL for what is left about 1 s
# later; returns once none is left, or about 1 s after the KILL.
end_run_processes() {
    local pids signal
    for signal in TERM KILL; do
        pids=$(run_pids "$@")
        [ -n "$pids" ] || return 0
        # shellcheck disable=SC2086
        kill -"$signal" $pids 2>/dev/null || true
        for _ in $(seq 10); do
            sleep 0.05
            [ -n "$(run_pids "$@")" ] || return 0
        done
    done
}

