#pragma once
// What a case needs of the test network beyond the driver: a packet capture in
// either namespace, judged afterwards by tshark, and a change to the network
// (a route, a neighbour, a sysctl) that is undone on every path out of the case.
// Both run through RunOnHost, each step with a bound.
#include <memory>
#include <string>
#include <vector>

namespace e2e {

/// The namespace a host command runs in.
enum class Side { kProgram, kPeer, kSecondLan, kFarLan };

/// The shell prefix that runs a command in `side`'s namespace.
std::string InNamespace(Side side);

/// A capture taken with dumpcap. The destructor stops it and deletes its file, so
/// a failing case leaves no capture running.
class Capture {
public:
    /// Starts capturing on `interface` (a shell word: "any", "$TARVEX_PEER_IF", ...)
    /// in `side`'s namespace with the capture filter `filter`, and returns once dumpcap
    /// captures; null when it does not within a few seconds.
    static std::unique_ptr<Capture> Start(Side side, const std::string& interface,
                                          const std::string& filter);
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    /// Waits `settle_ms`, then stops dumpcap and waits for it to write its file. True
    /// when it ended by itself on the signal. dumpcap reads the kernel's capture ring
    /// in blocks that it is handed every 250 ms at the latest, and drops the block not
    /// yet handed over when it stops: the default wait covers that.
    bool Stop(int settle_ms = 500);

    /// One line per packet that matches the display filter, holding the fields
    /// (tshark names) separated by '|'; a field that occurs several times in a packet
    /// lists every occurrence, separated by ','. Stops the capture first.
    /// Nothing (an empty vector and ok() false) when tshark fails.
    std::vector<std::string> Read(const std::string& display_filter,
                                  const std::vector<std::string>& fields);

    /// Number of packets that match the display filter; -1 when tshark fails.
    int Count(const std::string& display_filter);

    bool ok() const { return ok_; }

private:
    explicit Capture(std::string base) : base_(std::move(base)) {}
    std::string base_;  // path of the capture's files without extension
    bool running_ = true;
    bool ok_ = true;
};

/// A change to the test network: `apply` runs now, `undo` when the object goes,
/// whatever happened in between (also when `apply` failed half-way). Both are
/// shell scripts for RunOnHost.
class HostChange {
public:
    HostChange(std::string apply, std::string undo);
    ~HostChange();
    HostChange(const HostChange&) = delete;
    HostChange& operator=(const HostChange&) = delete;

    /// Whether `apply` ran and ended with status 0; `output()` says why not.
    bool applied() const { return applied_; }
    const std::string& output() const { return output_; }

private:
    std::string undo_;
    bool applied_ = false;
    std::string output_;
};

/// The peer as a desktop firewall leaves it: its kernel ignores echo requests and,
/// when `listen_port` is not 0, a listener accepts (and at once closes) connections on
/// that port of its address (10.77.0.2; 10.78.0.2 on the second LAN); every other port
/// refuses. Undone when the object goes.
std::unique_ptr<HostChange> FirewalledPeer(int listen_port, Side side = Side::kPeer);

/// A PC asleep on a LAN of the program (scripts/sleeping-peer), in a namespace of its own:
/// `ip` (on 10.77.0.0/24, or 10.78.0.0/24 for `lan` kSecondLan, and held by nobody else)
/// with `mac` ("02:77:00:00:01:50"). It answers nothing, ARP included, until a magic
/// packet for its MAC reaches UDP port 40000, 9 or 7, and from `wake_delay_s` seconds
/// after the first one on it answers ARP and pings (its TCP ports refuse). Gone,
/// namespace and all, when the object goes.
class SleepingPeer {
public:
    /// Returns once it is asleep; check started(). `lan`: kPeer (the peer's LAN) or
    /// kSecondLan (with TARVEX_SECOND_LAN=1).
    SleepingPeer(const std::string& ip, const std::string& mac, int wake_delay_s, Side lan = Side::kPeer);
    ~SleepingPeer();
    SleepingPeer(const SleepingPeer&) = delete;
    SleepingPeer& operator=(const SleepingPeer&) = delete;

    /// Whether it is asleep and listening; `output()` says why not.
    bool started() const { return !pid_.empty(); }
    const std::string& output() const { return output_; }

    /// The shell prefix that runs a command in its namespace.
    std::string InItsNamespace() const;

    /// The sources of the magic packets for its MAC it has heard so far, in order.
    std::vector<std::string> HeardFrom() const;
    bool Awake() const;

private:
    std::string base_;  // path of its log and pid files without extension
    std::string pid_;
    std::string output_;
};

/// This PC as a security suite's web shield or a SYN-proxy firewall leaves it: every
/// TCP connection the program's namespace opens to anything but loopback is redirected
/// (nftables) to a local listener that accepts it at once and closes it, so every such
/// connection completes whatever its destination. Undone when the object goes.
std::unique_ptr<HostChange> ProxyCompletingEveryConnection();

/// Shell scripts that take away, and give back, the ways a magic packet leaves the
/// program's namespace: the limited broadcast's route, and the address of each of its
/// LANs (with its address goes the LAN's directed broadcast).
extern const char kDropBroadcastRoute[];
extern const char kRestoreBroadcastRoute[];
extern const char kDropLanAddresses[];
extern const char kRestoreLanAddresses[];

}  // namespace e2e
