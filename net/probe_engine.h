#pragma once
// The probe engine: any number of probes run on one thread, their sockets multiplexed
// in one wait, each probe with its own value and deadlines on a monotonic clock.
// Check, the dialog's watcher and the command line's watches all hand it orders.
//
// An order asks whether one host answers within a time window, in attempts: each
// attempt sends one echo request carrying a fresh value and, when no reply has come
// within kEvidenceAfterMs, opens TCP connections to the host, a control to a port where
// nothing listens and then the common service ports; it ends at its own limit. The
// first answer ends the order; an attempt that ends without one gives way to the next,
// until the attempts or the window run out. An answer is our echo reply
// (IsOurEchoReply), an echo through the IP helper that came back with our data, or a
// completed service connection that ConnectionEvidence counts; refusals, resets and
// ICMP errors are not, since a router or a filter may send them on the target's
// behalf.
//
// Who goes first. Orders are interactive (Check, the probe before a packet: someone
// waits for them) or background (watches, sweeps). What is scarce is shared in this
// order: interactive before background, then the order that has waited longest.
//   - An echo through the raw socket costs nothing to hold: every due attempt sends its
//     own at once, so a silent PC is asked once per attempt whatever else runs.
//   - IP helper requests (the path without a raw socket) are few (ApiEchoRoom); the
//     last kInteractiveReserve of them are kept for interactive orders.
//   - Connections: at most `most_at_once` attempts hold theirs at once (the last
//     kInteractiveReserve places kept for interactive orders), and never more pending
//     connections than the io allows (XP queues those past 10).
//   - A name is looked up once per order, off the engine's thread (StartLookup), before
//     its first attempt; nothing else waits for it. One that finds nothing ends the
//     order (nothing to ask).
// A background order that gets no attempt before its window ends ends kUnserved: not
// known, never "no answer".
//
// Written over ProbeIo, so that its scheduling, its order of steps and every way an
// order ends can be checked natively with a fake network and clock; probe_io-win32.h
// gives the Winsock and IP helper side.
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/echo_packet.h"

/// File sharing, NetBIOS session, remote desktop, SSH, VNC: a machine that drops echo
/// requests often still accepts one of these. Opened in this order, after the control.
/// Not 80 and 443: security suites' web shields hand those to a local proxy that completes them all.
constexpr std::array<std::uint16_t, 5> kServicePorts = {445, 139, 3389, 22, 5900};

/// The control connection's port (TCPMUX, long out of use): a real PC refuses it or
/// drops it, so a path that completes it would complete any connection.
constexpr std::uint16_t kControlPort = 1;

/// Attempts that hold their connections at once, at most: six sockets each.
constexpr int kMostProbesAtOnce = 32;

/// Places kept for interactive orders, of the attempts' connections and of the IP
/// helper's requests (at most a quarter of either).
constexpr int kInteractiveReserve = 4;

/// How long an attempt waits for its echo reply before it opens its connections: a PC
/// that answers echo (most do, within a few ms on a LAN) is answered without them.
constexpr std::int32_t kEvidenceAfterMs = 20;

/// Which completed connections show the target itself. Some paths complete every
/// connection whatever its destination (a security suite's local proxy, a SYN-proxy
/// firewall); they complete the control too. So a completed service connection counts
/// only while the control has completed neither in the same wait nor in an earlier
/// one; a control that fails or stays pending, as on a real PC, leaves them counting.
class ConnectionEvidence {
public:
    /// Takes in what one wait saw; true when it shows the target up.
    bool Counts(bool control_connected, bool service_connected);

private:
    bool control_connected_ = false;
};

/// How an order turns its host text into an address. Either way a text that
/// ReadIpv4Octets reads is that address; any other text is looked up as a host name
/// by kAddressOrName (the wake watcher: a machine's name is fine there) and probed by
/// nobody with kAddressOnly (Check: nothing at all is sent).
enum class HostReading { kAddressOnly, kAddressOrName };

/// Names one socket or IP helper request of the io; 0 is none.
using IoId = std::uint32_t;

enum class ConnectionState { kPending, kCompleted, kFailed };

/// What one wait of the io saw.
struct IoEvents {
    /// Datagrams the raw ICMP socket received, each whole with its IP header; one that
    /// did not fit kReceiveBufferSize is left out (ours fits).
    std::vector<std::vector<std::uint8_t>> datagrams;
    /// The raw socket failed; nothing more will come through it.
    bool raw_failed = false;
    struct Connection {
        IoId id;
        ConnectionState state;  // kCompleted or kFailed; the io has closed it already
    };
    std::vector<Connection> connections;
    struct ApiEcho {
        IoId id;
        bool answered;  // a successful echo reply from the address, with our data exactly
    };
    std::vector<ApiEcho> api_echoes;
    struct Lookup {
        IoId id;
        bool found;  // the name gave an IPv4 address: `address`
        Ipv4Bytes address;
    };
    /// Name lookups that ended (StartLookup).
    std::vector<Lookup> lookups;
    /// Wake was called.
    bool woken = false;
};

/// The platform side of the engine. Every call but Wake comes from the engine's thread.
class ProbeIo {
public:
    virtual ~ProbeIo() = default;
    /// Milliseconds on a monotonic clock; only differences mean anything.
    virtual std::int64_t NowMs() = 0;
    /// Milliseconds since the system started, for the request's time stamp.
    virtual std::uint32_t TickCount() = 0;
    /// A value nobody can predict, fresh for every attempt.
    virtual std::uint32_t NewProbeValue() = 0;
    /// Starts looking `host` up as a host name, off the engine's thread: its outcome
    /// comes from a later Wait, however long the system takes. 0 when it could not be
    /// started. Close lets it go: nothing is reported about it then, and the lookup
    /// ends on its own.
    virtual IoId StartLookup(const std::string& host) = 0;
    /// False while StartLookup has no room for one more lookup; a later Wait returns
    /// once it has.
    virtual bool HasLookupRoom() = 0;
    /// How many more IP helper requests StartApiEcho takes now (those let go of but
    /// still in flight hold their place). A later Wait returns when room is made.
    virtual int ApiEchoRoom() = 0;
    /// How many IP helper requests the io holds at most (ApiEchoRoom when none runs).
    virtual int MostApiEchoes() = 0;
    /// TCP connections that may be pending (connecting) at once: the system queues the
    /// rest (XP allows 10), so the engine keeps within it.
    virtual int MostPendingConnections() = 0;
    /// True when the io has its raw ICMP socket: echo requests go through SendRawEcho
    /// and replies come as datagrams. Otherwise through StartApiEcho.
    virtual bool HasRawSocket() = 0;
    /// Sends the request through the raw socket as one datagram; true when all of it went.
    /// When Windows refuses the socket's sends (not the destination) the io drops it:
    /// HasRawSocket() is false from then on.
    virtual bool SendRawEcho(const Ipv4Bytes& to, const EchoRequest& request) = 0;
    /// Sends one echo request carrying `payload` through the IP helper; its outcome
    /// comes from a later Wait, at the latest after `timeout_ms`. 0 when it could not
    /// be started.
    virtual IoId StartApiEcho(const Ipv4Bytes& to, const std::vector<std::uint8_t>& payload,
                              std::int32_t timeout_ms) = 0;
    /// Starts a non-blocking TCP connection to `to`:`port`, on which nothing is ever
    /// sent; its outcome comes from a later Wait (one that completed at once, too).
    /// 0 when it could not be started.
    virtual IoId Connect(const Ipv4Bytes& to, std::uint16_t port) = 0;
    /// Lets go of a connection, an IP helper request or a lookup that is no longer
    /// wanted; no event about it comes after this. Its resources may outlive the call (an IP helper
    /// request keeps its buffer until the call ends), never the io.
    virtual void Close(IoId id) = 0;
    /// Waits at most `timeout_ms` (0: only looks) for anything of the above, or for
    /// Wake, and adds what it saw to `events`.
    virtual void Wait(int timeout_ms, IoEvents& events) = 0;
    /// Ends a Wait running now or the next one at once. Any thread.
    virtual void Wake() = 0;
};

enum class ProbeVerdict {
    kAnswered,
    kNoAnswer,   // the attempts or the window ran out, or the host gave no address
    kUnserved,   // the window ended before the engine could make an attempt: not known
    kCancelled,  // Cancel or Stop came first
};

/// Interactive orders (someone waits for them) go before background ones.
enum class OrderClass { kInteractive, kBackground };

enum class AnswerKind { kNone, kEcho, kTcp };

struct ProbeOutcome {
    ProbeVerdict verdict = ProbeVerdict::kNoAnswer;
    AnswerKind how = AnswerKind::kNone;
    std::uint16_t port = 0;        // kTcp: the service port that completed
    std::int64_t answered_ms = 0;  // kAnswered: NowMs when the engine saw the answer
    Ipv4Bytes address{};           // the address probed, once the host gave one
};

/// One order. Times are NowMs readings.
struct ProbeOrder {
    std::string host;
    HostReading reading = HostReading::kAddressOnly;
    OrderClass order_class = OrderClass::kBackground;
    std::int64_t first_ms = 0;  // no attempt starts before it
    std::int64_t end_ms = 0;    // no attempt runs past it, none starts at or after it
    std::int32_t attempt_ms = 500;  // each attempt's limit (cut at end_ms)
    int attempts = 1;               // at most; 0: as many as the window holds
    /// Only the echo request, no connection: a sweep of a LAN asks each address once,
    /// as quietly as it can.
    bool echo_only = false;
    /// Called once, on the engine's thread, when the order ends, however it ends; it must
    /// not block. It may submit or cancel orders.
    std::function<void(const ProbeOutcome&)> done;
};

using ProbeTicket = std::uint64_t;

class ProbeEngine {
public:
    /// `evidence_after_ms`: kEvidenceAfterMs but in tests of the steps themselves.
    explicit ProbeEngine(ProbeIo& io, int most_at_once = kMostProbesAtOnce,
                         std::int32_t evidence_after_ms = kEvidenceAfterMs);
    ~ProbeEngine();
    ProbeEngine(const ProbeEngine&) = delete;
    ProbeEngine& operator=(const ProbeEngine&) = delete;

    /// Any thread. Queues `order` and returns its ticket; 0 (and `done` is never called)
    /// once Stop has been called.
    ProbeTicket Submit(ProbeOrder order);
    /// Any thread. Ends the order: its connections and requests are let go and nothing
    /// more is sent for it; `done` gets kCancelled unless the order had ended already.
    void Cancel(ProbeTicket ticket);
    /// Any thread. Cancels every order, refuses new ones, and makes Run return.
    void Stop();
    bool IsStopped() const;

    /// The engine's thread: runs orders until Stop, then ends every one (kCancelled)
    /// and lets go of everything before it returns.
    void Run();
    /// One turn of Run, for tests: takes in submissions and cancellations, starts what
    /// is due, waits on the io at most until the next deadline (and at most
    /// `most_wait_ms`), and handles what it saw. False once stopped, after the ending.
    bool Turn(int most_wait_ms);

private:
    struct Attempt;
    struct Entry;
    void TakeInRequests();
    void StartLookups(std::int64_t now);
    void StartDue(std::int64_t now);
    void StartAttempt(ProbeTicket ticket, std::int64_t now);
    void OpenConnections(std::int64_t now);
    bool HasEchoRoom(const Entry& entry) const;
    bool HasConnectionRoom(const Entry& entry) const;
    std::vector<ProbeTicket> InLine(const std::vector<ProbeTicket>& tickets, bool by_connections) const;
    void EndAttempt(Entry& entry);
    void ReleaseConnections(Entry& entry);
    void LetGoOfLookup(Entry& entry);
    void Answer(ProbeTicket ticket, AnswerKind how, std::uint16_t port, std::int64_t now);
    void Finish(ProbeTicket ticket, ProbeOutcome outcome);
    void FinishUnanswered(ProbeTicket ticket);
    void Handle(const IoEvents& events, std::int64_t now);
    void ExpireAttempts(std::int64_t now);
    int WaitMs(std::int64_t now, int most_wait_ms) const;
    void EndEverything();

    ProbeIo& io_;
    const int most_at_once_;
    const int reserve_;  // of most_at_once_, for interactive orders
    const std::int32_t evidence_after_ms_;

    mutable std::mutex mutex_;  // guards the three below
    std::vector<std::pair<ProbeTicket, ProbeOrder>> submitted_;
    std::vector<ProbeTicket> cancelled_;
    bool stopped_ = false;
    ProbeTicket last_ticket_ = 0;

    // The engine thread's own.
    std::map<ProbeTicket, std::unique_ptr<Entry>> entries_;
    std::vector<ProbeTicket> waiting_;  // for their next attempt (or their name)
    std::map<IoId, ProbeTicket> owners_;
    int connecting_ = 0;           // attempts that hold their connections
    int pending_connections_ = 0;  // connections opened and not reported yet
    bool stop_seen_ = false;       // Stop has been taken in
    bool ended_ = false;
};

/// Submits `order` and blocks the caller until it ends; its outcome. Once the engine
/// has stopped: kCancelled at once. Never longer than the order's window plus
/// kProbeAndWaitGraceMs: an order that has not ended by then is cancelled and ends
/// kUnserved.
constexpr std::int32_t kProbeAndWaitGraceMs = 50;
ProbeOutcome ProbeAndWait(ProbeEngine& engine, ProbeOrder order);
