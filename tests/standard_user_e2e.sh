#!/bin/bash
# End-to-end cases of the program run by a standard user, as nearly every Windows user
# runs it: not root, so no raw socket of root's; Wine's server, run by that user, sends
# the echo requests through Linux ping sockets (which the test network allows any user,
# as Windows lets a standard user ping).
#
#   scripts/testnet.sh scripts/xvfb-run.sh tests/standard_user_e2e.sh EXE RESULTS_DIR
#
# Inside a test network run (TARVEX_SECOND_LAN=1), as root: makes the system user
# tvx-wol-user when it is missing, gives it a directory of its own in the run's
# directory (home, temporary files, a copy of the exe and of the Wine wrapper, and a
# Wine prefix copied from the booted template and owned by it), and starts the exe as
# that user through scripts/wine-ns, so that its own wineserver runs inside this
# namespace. Judged from outside by exit codes, output, the report file and the time
# taken. Writes RESULTS_DIR/standard_user.xml (GoogleTest's format: one testcase per
# case) and exits 1 when a case failed.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
exe=${1:?usage: $0 EXE RESULTS_DIR}
results=${2:?usage: $0 EXE RESULTS_DIR}
user=tvx-wol-user
[ -n "${TARVEX_RUN_ID:-}" ] && [ -n "${TARVEX_LAN2_NS:-}" ] || {
    echo "standard-user: run inside scripts/testnet.sh with TARVEX_SECOND_LAN=1" >&2
    exit 2
}

# shellcheck source=../scripts/wine-arch.sh
. "$repo/scripts/wine-arch.sh"
wine_arch_choose || exit 2

id -u "$user" >/dev/null 2>&1 ||
    useradd --system --user-group --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$user" || {
    echo "standard-user: cannot make the user $user" >&2
    exit 2
}

# The run's directory may be passed through, not listed; the user's own part is closed
# to everyone else.
run_dir=$(dirname "$TARVEX_TMPDIR")
chmod 711 "$run_dir"
home=$run_dir/standard-user
mkdir -p "$home/home" "$home/tmp" "$home/bin" "$home/files"
cp "$exe" "$home/bin/tarvex-wol.exe"
cp "$repo/scripts/wine-ns" "$repo/scripts/run-record.sh" "$repo/scripts/wine-arch.sh" "$home/bin/"
TARVEX_WINEPREFIX=$home/prefix "$repo/scripts/wine-ns" --prepare || {
    echo "standard-user: no Wine prefix to copy" >&2
    exit 2
}
chown -R "$user:" "$home"
chmod 700 "$home"

cases=()  # "name|failure message" (empty message: passed)
failures=0
finish_case() {  # finish_case NAME MESSAGES...: failed when any message is given
    local name=$1 message
    shift
    message=$(printf '%s; ' "$@")
    message=${message%; }
    cases+=("$name|$message")
    if [ -z "$message" ]; then
        echo "[       OK ] StandardUser.$name"
    else
        echo "[  FAILED  ] StandardUser.$name: $message"
        failures=$((failures + 1))
    fi
}

out=$home/files/out.txt
# as_user ARGS...: runs the exe as the standard user; its output in $out (and $out.lf
# without carriage returns), its exit code in rc, its wall time in ms.
as_user() {
    timed runuser -u "$user" -- env -i PATH=/usr/bin:/bin HOME="$home/home" TMPDIR="$home/tmp" DISPLAY="${DISPLAY:-}" \
        TARVEX_RUN_ID="$TARVEX_RUN_ID" TARVEX_WINEPREFIX="$home/prefix" TARVEX_WINE_ARCH="$TARVEX_WINE_ARCH" \
        "$home/bin/wine-ns" "$home/bin/tarvex-wol.exe" "$@"
}
# as_root ARGS...: the same, run by root in the run's own prefix. Its expected exit
# codes are no failures for the run's Wine log.
as_root() {
    TARVEX_WINE_LOG='' timed "$repo/scripts/wine-ns" "$exe" "$@"
}
timed() {
    local start
    start=$(date +%s%N)
    "$@" >"$out" 2>"$home/files/err.txt"
    rc=$?
    ms=$((($(date +%s%N) - start) / 1000000))
    tr -d '\r' <"$out" >"$out.lf"
}
expect() {  # expect WHAT GOT WANTED: adds a failure message unless equal
    [ "$2" = "$3" ] || problems+=("$1: '$2', not '$3'")
}
within() {  # within WHAT VALUE LOW HIGH
    [ "$2" -ge "$3" ] && [ "$2" -le "$4" ] || problems+=("$1: $2, not within $3..$4")
}

# A PC asleep at ADDRESS with MAC until a magic packet comes (scripts/sleeping-peer).
sleeper_pid=
start_sleeper() {  # start_sleeper ADDRESS MAC DELAY
    local log=$home/files/sleeper.txt
    "$TARVEX_SLEEPING_PEER" "$1" "$2" "$3" >"$log" 2>&1 &
    sleeper_pid=$!
    for _ in $(seq 100); do
        grep -q '^ready' "$log" && return 0
        sleep 0.1
    done
    return 1
}
stop_sleeper() {
    [ -n "$sleeper_pid" ] || return 0
    kill -TERM "$sleeper_pid" 2>/dev/null
    wait "$sleeper_pid" 2>/dev/null
    sleeper_pid=
}
trap stop_sleeper EXIT

# --- Check: a live address is on, a silent one off after its 500 ms ------------------
# The user's wineserver stays up from here to the end, so that no case pays for its
# start; the first start in a prefix also starts Wine's services: not timed.
runuser -u "$user" -- env -i PATH=/usr/bin:/bin TMPDIR="$home/tmp" WINEPREFIX="$home/prefix" "$wineserver_cmd" -p
as_root /check 10.77.0.2
as_user /check 10.77.0.2
problems=()
as_user /check 10.77.0.2
on_ms=$ms
expect "exit code" "$rc" 0
expect "output" "$(cat "$out.lf")" "The PC with IP 10.77.0.2 is on"
# The user's own wineserver serves it, in this very namespace.
servers=$(pgrep -u "$user" wineserver)
[ -n "$servers" ] || problems+=("no wineserver of $user")
for pid in $servers; do
    expect "namespace of wineserver $pid" "$(readlink "/proc/$pid/ns/net")" "$(readlink /proc/self/ns/net)"
done
finish_case CheckOfALiveAddressSaysOn "${problems[@]}"

problems=()
as_user /check 10.77.0.3
expect "exit code" "$rc" 1
expect "output" "$(cat "$out.lf")" "The PC with IP 10.77.0.3 is off"
# Against the live address's run, which pays the same start of Wine.
within "ms beyond the live address's run ($on_ms ms)" $((ms - on_ms)) 300 1500
echo "[ measure  ] Check as a standard user: on $on_ms ms, off $ms ms (each with Wine's start)"
finish_case CheckOfASilentAddressSaysOffInAboutHalfASecond "${problems[@]}"

# --- /wake /wait of a PC that wakes 3 s after its packet -----------------------------
problems=()
if start_sleeper 10.77.0.50 02:77:00:00:01:50 3; then
    # Which ICMP sockets of the user's are open meanwhile: ping sockets (/proc/net/icmp),
    # never raw ones (/proc/net/raw), which Linux refuses to a user as Windows does.
    uid=$(id -u "$user")
    (for _ in $(seq 40); do
        awk -v uid="$uid" 'NR > 1 && $8 == uid {print FILENAME}' /proc/net/icmp /proc/net/raw
        sleep 0.1
    done) >"$home/files/sockets.txt" &
    sampler=$!
    as_user /wake 02-77-00-00-01-50 /ip 10.77.0.50 /wait /timeout 30
    wait "$sampler"
    grep -q icmp "$home/files/sockets.txt" || problems+=("no ping socket of $user seen")
    ! grep -q raw "$home/files/sockets.txt" || problems+=("a raw socket of $user seen")
    expect "exit code" "$rc" 0
    expect "output" "$(cat "$out.lf")" "The PC has been turned on."
    within "ms" "$ms" 3000 9000
    grep -q '^awake' "$home/files/sleeper.txt" || problems+=("the sleeping PC never woke")
else
    problems+=("the sleeping PC did not start: $(cat "$home/files/sleeper.txt")")
fi
stop_sleeper
finish_case WakeAndWaitReportsTheSleepingPcTurnedOn "${problems[@]}"

# --- /list /wait /report of 5 PCs, one of them woken at a new address ----------------
# The peer and the second LAN's peer answer before their packets; 10.77.0.3 and
# 10.77.0.4 are held by nobody; the sleeping PC is listed at 10.77.0.61 but wakes at
# 10.77.0.60, where the sweep finds its MAC: 60 s after the sends, which the /timeout of
# 66 s leaves room for.
printf '%s\r\n' "# PCs of the test network" "10.77.0.2,02:77:00:00:00:02,peer" "10.78.0.2,02:78:00:00:00:02,lan2 peer" \
    "10.77.0.3,02:77:00:00:00:03,silent" "10.77.0.61,02:77:00:00:01:60,moved" "10.77.0.4,02:77:00:00:00:04,silent too" \
    >"$home/files/pcs.csv"
chown "$user:" "$home/files/pcs.csv"
list_csv() {  # list_csv RUNNER REPORT: the list run by RUNNER (as_user, as_root); problems added
    local report=$2 peer
    # Both peers' ARP rows made beforehand, so that neither run pays an ARP resolution
    # within its 500 ms probe before the packet (the other LAN's peer then reads "answered").
    for peer in 10.77.0.2 10.78.0.2; do ping -c 1 -W 1 "$peer" >/dev/null; done
    if ! start_sleeper 10.77.0.60 02:77:00:00:01:60 2; then
        problems+=("the sleeping PC did not start: $(cat "$home/files/sleeper.txt")")
        return
    fi
    "$1" /list "Z:${home//\//\\}\\files\\pcs.csv" /wait /timeout 66 /report "Z:${report//\//\\}"
    stop_sleeper
    expect "exit code" "$rc" 1
    within "ms" "$ms" 66000 74000
}
expected_lines="10.77.0.2 02-77-00-00-00-02 peer was already on
10.77.0.3 02-77-00-00-00-03 silent no answer
10.77.0.4 02-77-00-00-00-04 silent too no answer
10.77.0.61 02-77-00-00-01-60 moved turned on at 10.77.0.60
10.78.0.2 02-78-00-00-00-02 lan2 peer was already on"
expected_csv="$(printf '\357\273\277')ip,mac,label,verdict,seconds,answered_by,note
10.77.0.2,02-77-00-00-00-02,peer,already-on,,,
10.78.0.2,02-78-00-00-00-02,lan2 peer,already-on,,,
10.77.0.3,02-77-00-00-00-03,silent,no-answer,,,
10.77.0.61,02-77-00-00-01-60,moved,new-address,,,
10.77.0.4,02-77-00-00-00-04,silent too,no-answer,,,"

problems=()
list_csv as_user "$home/files/user.csv"
expect "lines" "$(head -n 5 "$out.lf" | LC_ALL=C sort)" "$expected_lines"
expect "summary" "$(tail -n 1 "$out.lf" | sed 's/ in [0-9]* s\./ in N s./')" "3 of 5 PCs answered in N s."
user_csv=$(tr -d '\r' <"$home/files/user.csv" 2>/dev/null)
expect "report" "$user_csv" "$expected_csv"
finish_case ListWaitReportFindsTheMovedPcAndWritesTheReport "${problems[@]}"

problems=()
list_csv as_root "$home/files/root.csv"
expect "report as root" "$(tr -d '\r' <"$home/files/root.csv" 2>/dev/null)" "$user_csv"
finish_case ListReportIsTheSameAsRootsRun "${problems[@]}"

# The user's wineserver goes with its prefix.
runuser -u "$user" -- env -i PATH=/usr/bin:/bin TMPDIR="$home/tmp" WINEPREFIX="$home/prefix" "$wineserver_cmd" -k 2>/dev/null

mkdir -p "$results"
{
    echo '<?xml version="1.0" encoding="UTF-8"?>'
    echo "<testsuites tests=\"${#cases[@]}\" failures=\"$failures\" name=\"AllTests\">"
    echo "  <testsuite name=\"StandardUser\" tests=\"${#cases[@]}\" failures=\"$failures\">"
    for c in "${cases[@]}"; do
        name=${c%%|*} message=${c#*|}
        if [ -z "$message" ]; then
            echo "    <testcase name=\"$name\" status=\"run\" result=\"completed\" classname=\"StandardUser\" />"
        else
            message=$(sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g' <<<"$message")
            echo "    <testcase name=\"$name\" status=\"run\" result=\"completed\" classname=\"StandardUser\">"
            echo "      <failure message=\"$message\" />"
            echo "    </testcase>"
        fi
    done
    echo "  </testsuite>"
    echo "</testsuites>"
} >"$results/standard_user.xml"
echo "standard user: $((${#cases[@]} - failures))/${#cases[@]} cases passed"
[ "$failures" -eq 0 ]
