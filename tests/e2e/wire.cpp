#include "tests/e2e/wire.h"

#include <windows.h>

#include <sstream>

#include "tests/e2e/driver.h"

namespace e2e {

namespace {

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

// True when the process still runs: a child of an exited shell may stay a zombie
// until its new parent reaps it, and kill -0 would count that as running.
const char kAliveFunction[] =
    "alive() { s=$(awk '{print $3}' /proc/$1/stat 2>/dev/null) && [ \"$s\" != Z ]; }\n";

}  // namespace

std::string InNamespace(Side side) {
    switch (side) {
    case Side::kPeer: return "ip netns exec \"$TARVEX_PEER_NS\" ";
    case Side::kSecondLan: return "ip netns exec \"$TARVEX_LAN2_NS\" ";
    case Side::kFarLan: return "ip netns exec \"$TARVEX_FAR_NS\" ";
    case Side::kProgram: break;
    }
    return "";
}

std::unique_ptr<Capture> Capture::Start(Side side, const std::string& interface,
                                        const std::string& filter) {
    const std::string base = UniqueHostPath("tvx-cap");
    std::unique_ptr<Capture> capture(new Capture(base));
    // dumpcap says "Capturing on" before it opens anything; "File:" comes once the
    // capture is open, its filter set and its file made. Packets from then on are kept.
    const auto started = RunOnHost(
        std::string(kAliveFunction) + "f=" + base + "\nrm -f $f.pcapng $f.log $f.pid\n" +
            InNamespace(side) + "dumpcap -q -i " + interface + " -f " + Quote(filter) +
            " -w $f.pcapng </dev/null >$f.log 2>&1 &\n"
            "echo $! >$f.pid\n"
            "for i in $(seq 100); do\n"
            "  grep -q '^File: ' $f.log && exit 0\n"
            "  alive $(cat $f.pid) || break\n"
            "  sleep 0.05\n"
            "done\n"
            "cat $f.log\nexit 1\n",
        15000);
    if (!started || started->exit_code != 0) {
        capture->Stop(0);
        return nullptr;
    }
    return capture;
}

Capture::~Capture() {
    Stop(0);
    RunOnHost("rm -f " + base_ + ".pcapng " + base_ + ".log " + base_ + ".pid", 10000);
}

bool Capture::Stop(int settle_ms) {
    if (!running_) return ok_;
    running_ = false;
    if (settle_ms > 0) Sleep(static_cast<DWORD>(settle_ms));
    // SIGINT makes dumpcap finish its file; a dumpcap that does not end in 5 s is killed.
    const auto stopped = RunOnHost(
        std::string(kAliveFunction) + "f=" + base_ + "\n[ -s $f.pid ] || exit 0\np=$(cat $f.pid)\n" +
            "kill -INT $p 2>/dev/null\n"
            "for i in $(seq 100); do alive $p || exit 0; sleep 0.05; done\n"
            "kill -KILL $p 2>/dev/null\nexit 1\n",
        15000);
    ok_ = ok_ && stopped && stopped->exit_code == 0;
    return ok_;
}

std::vector<std::string> Capture::Read(const std::string& display_filter,
                                       const std::vector<std::string>& fields) {
    Stop();
    std::string command = "tshark -r " + base_ + ".pcapng -Y " + Quote(display_filter) +
                          " -T fields -E separator='|'";
    for (const std::string& field : fields) command += " -e " + Quote(field);
    // tshark's warnings (running as root) go to stderr, which would mix with the fields.
    const auto result = RunOnHost(command + " 2>/dev/null", 30000);
    std::vector<std::string> lines;
    if (!result || result->exit_code != 0) {
        ok_ = false;
        return lines;
    }
    std::istringstream output(result->output);
    for (std::string line; std::getline(output, line);) lines.push_back(line);
    return lines;
}

int Capture::Count(const std::string& display_filter) {
    const std::vector<std::string> lines = Read(display_filter, {"frame.number"});
    return ok_ ? static_cast<int>(lines.size()) : -1;
}

HostChange::HostChange(std::string apply, std::string undo) : undo_(std::move(undo)) {
    const auto result = RunOnHost(apply, 15000);
    applied_ = result && result->exit_code == 0;
    output_ = result ? result->output : "no answer from the host side";
}

HostChange::~HostChange() { RunOnHost(undo_, 15000); }

std::unique_ptr<HostChange> FirewalledPeer(int listen_port, Side side) {
    const std::string peer = InNamespace(side);
    const std::string address = side == Side::kSecondLan ? "10.78.0.2" : "10.77.0.2";
    const std::string ignore = peer + "sysctl -qw net.ipv4.icmp_echo_ignore_all=1 || exit 1\n";
    const std::string restore = peer + "sysctl -qw net.ipv4.icmp_echo_ignore_all=0\n";
    if (listen_port == 0) return std::make_unique<HostChange>(ignore, restore + "true");
    const std::string base = UniqueHostPath("tvx-listen");
    const std::string listener =
        "import socket\n"
        "s = socket.socket()\n"
        "s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)\n"
        "s.bind(('" + address + "', " + std::to_string(listen_port) + "))\n"
        "s.listen(64)\n"
        "print('ready', flush=True)\n"
        "while True:\n"
        "    s.accept()[0].close()\n";
    return std::make_unique<HostChange>(
        ignore + "f=" + base + "\ncat >$f.py <<'EOF'\n" + listener + "EOF\n" + peer +
            "python3 $f.py </dev/null >$f.log 2>&1 &\necho $! >$f.pid\n"
            "for i in $(seq 100); do grep -q ready $f.log && exit 0; sleep 0.05; done\ncat $f.log; exit 1\n",
        "f=" + base + "\n[ -s $f.pid ] && kill $(cat $f.pid) 2>/dev/null\n" + restore + "rm -f $f.py $f.log $f.pid; true\n");
}

std::unique_ptr<HostChange> ProxyCompletingEveryConnection() {
    const std::string base = UniqueHostPath("tvx-proxy");
    const std::string listener =
        "import socket\n"
        "s = socket.socket()\n"
        "s.bind(('127.0.0.1', 0))\n"
        "s.listen(64)\n"
        "print('ready', s.getsockname()[1], flush=True)\n"
        "while True:\n"
        "    s.accept()[0].close()\n";
    return std::make_unique<HostChange>(
        "f=" + base + "\ncat >$f.py <<'EOF'\n" + listener + "EOF\n"
            "python3 $f.py </dev/null >$f.log 2>&1 &\necho $! >$f.pid\n"
            "for i in $(seq 100); do port=$(sed -n 's/^ready //p' $f.log); [ -n \"$port\" ] && break; sleep 0.05; done\n"
            "[ -n \"$port\" ] || { cat $f.log; exit 1; }\n"
            "nft add table ip tarvex_proxy &&\n"
            "nft 'add chain ip tarvex_proxy output { type nat hook output priority -100; }' &&\n"
            "nft add rule ip tarvex_proxy output ip daddr != 127.0.0.0/8 meta l4proto tcp redirect to :$port\n",
        "nft delete table ip tarvex_proxy 2>/dev/null\n"
        "f=" + base + "\n[ -s $f.pid ] && kill $(cat $f.pid) 2>/dev/null\nrm -f $f.py $f.log $f.pid; true\n");
}

SleepingPeer::SleepingPeer(const std::string& ip, const std::string& mac, int wake_delay_s, Side lan)
    : base_(UniqueHostPath("tvx-sleeper")) {
    const auto started = RunOnHost(
        std::string(kAliveFunction) + "f=" + base_ + "\n\"$TARVEX_SLEEPING_PEER\" " + Quote(ip) + " " + Quote(mac) +
            " " + std::to_string(wake_delay_s) + (lan == Side::kSecondLan ? " lan2" : " lan1") +
            " </dev/null >$f.log 2>&1 &\necho $! >$f.pid\n"
            "for i in $(seq 200); do\n"
            "  sed -n 's/^ready //p' $f.log | grep . && exit 0\n"
            "  alive $(cat $f.pid) || break\n"
            "  sleep 0.05\n"
            "done\n"
            "cat $f.log\nexit 1\n",
        20000);
    output_ = started ? started->output : "no answer from the host side";
    if (started && started->exit_code == 0) pid_ = output_.substr(0, output_.find('\n'));
}

SleepingPeer::~SleepingPeer() {
    // TERM lets it give its MAC back before it goes, for a sleeper started next.
    RunOnHost(std::string(kAliveFunction) + "f=" + base_ + "\n[ -s $f.pid ] || exit 0\np=$(cat $f.pid)\n" +
                  "kill -TERM $p 2>/dev/null\n"
                  "for i in $(seq 60); do alive $p || break; sleep 0.05; done\n"
                  "kill -KILL $p 2>/dev/null\nrm -f $f.log $f.pid; true\n",
              15000);
}

std::string SleepingPeer::InItsNamespace() const { return "nsenter --net=/proc/" + pid_ + "/ns/net "; }

std::vector<std::string> SleepingPeer::HeardFrom() const {
    std::vector<std::string> sources;
    const auto log = RunOnHost("sed -n 's/^magic packet from //p' " + base_ + ".log", 10000);
    if (!log) return sources;
    std::istringstream lines(log->output);
    for (std::string line; std::getline(lines, line);) sources.push_back(line);
    return sources;
}

bool SleepingPeer::Awake() const {
    const auto log = RunOnHost("grep -qx awake " + base_ + ".log", 10000);
    return log && log->exit_code == 0;
}

const char kDropBroadcastRoute[] = "ip route del 255.255.255.255/32 dev \"$TARVEX_PROG_IF\"";
const char kRestoreBroadcastRoute[] = "ip route replace 255.255.255.255/32 dev \"$TARVEX_PROG_IF\"";
// The route to the far LAN goes with the address of the router's LAN, and comes back after it.
const char kDropLanAddresses[] =
    "ip addr del 10.77.0.1/24 dev \"$TARVEX_PROG_IF\" &&"
    " { [ -z \"${TARVEX_LAN2_IF:-}\" ] || ip addr del 10.78.0.1/24 dev \"$TARVEX_LAN2_IF\"; } &&"
    " { [ -z \"${TARVEX_ROUTER_IF:-}\" ] || ip addr del 10.79.0.1/24 dev \"$TARVEX_ROUTER_IF\"; }";
const char kRestoreLanAddresses[] =
    "ip addr replace 10.77.0.1/24 dev \"$TARVEX_PROG_IF\";"
    " [ -z \"${TARVEX_LAN2_IF:-}\" ] || ip addr replace 10.78.0.1/24 dev \"$TARVEX_LAN2_IF\";"
    " [ -z \"${TARVEX_ROUTER_IF:-}\" ] || { ip addr replace 10.79.0.1/24 dev \"$TARVEX_ROUTER_IF\" &&"
    " ip route replace 10.80.0.0/24 via 10.79.0.2; }";

}  // namespace e2e
