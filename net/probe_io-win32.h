#pragma once
// The probe engine's Winsock and IP helper side. Needs WSAStartup to have succeeded.
//
// Everything the engine waits for is one WaitForMultipleObjects over at most 64 handles:
// a wake event, the raw ICMP socket's FD_READ event, one event that every pending TCP
// connection signals its FD_CONNECT on (so any number of them fit), one event that every
// name lookup's thread sets as it ends, and one event per IP helper request in flight
// (IcmpSendEcho2). After the wait the io looks at each of them without blocking and
// reports what it found.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/handles-win32.h"
#include "net/probe_engine.h"
#include "net/socket-win32.h"

/// Which way echo requests may go.
enum class EchoPath {
    kRawThenIpHelper,  // the program's: the raw socket, or the IP helper when Windows refuses
                       // the socket (it does to non-administrators)
    kRawOnly,
    kIpHelperOnly,
};

/// IP helper requests in flight at once, at most, those let go of but not yet ended
/// included: with the wake, raw socket, TCP and lookup events, the 64 handles of one wait.
constexpr int kMostApiEchoes = MAXIMUM_WAIT_OBJECTS - 4;

/// How long past its own timeout a request the engine still holds may go without its
/// event before the io reports it ended without an answer, so that the engine is not
/// held by it. Its buffer stays until the event fires all the same: the system may still
/// write it (an absent host on the LAN holds a request some 3 s for address resolution,
/// whatever its timeout). Also how long the io's destructor waits past a request's timeout.
constexpr std::int32_t kApiEchoMarginMs = 2000;

/// Name lookups running at once, at most, those let go of but not yet ended included:
/// each holds a thread for as long as the system takes, which for a sleeping PC's name
/// can be many seconds (DNS, LLMNR and NetBIOS timeouts, one after the other).
constexpr int kMostLookups = 4;

/// At most this many TCP connections may be pending at once on Windows XP and Server
/// 2003 (from XP SP2 on): the system queues the rest, and a queued one only starts when
/// another ends.
constexpr int kMostPendingConnectionsXp = 10;

/// Looks `host` up as a host name: gethostbyname's first IPv4 address. An empty text finds
/// nothing (Winsock would answer with this machine's own address). Blocks for as long as
/// the system takes; any thread that has Winsock started.
bool LookUpHostName(const std::string& host, Ipv4Bytes& address);

/// How a WinsockProbeIo looks names up, on a thread of the lookup's own: LookUpHostName,
/// or a test's stand-in for a name that takes long to fail. Called from several threads
/// at once, possibly after the io is gone; must not throw.
using HostNameLookup = std::function<bool(const std::string& host, Ipv4Bytes& address)>;

/// Datagrams taken from the raw socket in one Wait, at most, so that a flood of ICMP
/// cannot hold the engine; the rest wait for the next one.
constexpr int kMostDatagramsPerWait = 64;

/// What an io has sent: echo requests through the raw socket, and IP helper requests
/// started.
struct ProbeIoSent {
    std::uint32_t raw_echoes = 0;
    std::uint32_t api_echoes = 0;
};

class WinsockProbeIo final : public ProbeIo {
public:
    /// Opens the raw ICMP socket once when `path` allows it.
    explicit WinsockProbeIo(EchoPath path = EchoPath::kRawThenIpHelper, HostNameLookup look_up = LookUpHostName);
    /// Waits for every IP helper request still in flight, each at most until its timeout
    /// plus the margin has passed, before freeing its buffer; one still running then is
    /// left to the process's end, buffer and all. Never waits for a name lookup: its
    /// thread ends on its own, later.
    ~WinsockProbeIo() override;
    WinsockProbeIo(const WinsockProbeIo&) = delete;
    WinsockProbeIo& operator=(const WinsockProbeIo&) = delete;

    /// False when its events could not be created: then it must not be used.
    bool IsReady() const;

    /// MonotonicMs.
    std::int64_t NowMs() override;
    std::uint32_t TickCount() override;
    /// From the system's random number generator (RtlGenRandom).
    std::uint32_t NewProbeValue() override;
    /// Runs the io's HostNameLookup on a thread of its own, which holds all it uses: a
    /// lookup let go of (Close) ends whenever the system call returns, the io gone or not.
    /// 0 while kMostLookups run, or when no thread could be started.
    IoId StartLookup(const std::string& host) override;
    /// Fewer than kMostLookups running, those let go of included. Any Wait returns when
    /// a lookup ends, reported or not, since that makes room.
    bool HasLookupRoom() override;
    /// kMostPendingConnectionsXp on Windows major version 5 (XP, Server 2003); elsewhere
    /// every connection of kMostProbesAtOnce attempts at once, since nothing is queued.
    int MostPendingConnections() override;
    bool HasRawSocket() override;
    /// A send that fails with WSAEACCES drops the raw socket for good: a limited user
    /// on XP gets the socket but no send through it. (A send to a broadcast address
    /// fails so too; the IP helper then carries the echoes, as well.) Any other
    /// failure is the destination's: unreachable, or no buffer for now.
    bool SendRawEcho(const Ipv4Bytes& to, const EchoRequest& request) override;
    /// IcmpSendEcho2 with an event of the request's own. 0 with EchoPath::kRawOnly, or
    /// when kMostApiEchoes are in flight. Reported when its event fires, or, if it has
    /// not by its timeout plus kApiEchoMarginMs, then as unanswered; its buffer stays
    /// until the event fires either way.
    IoId StartApiEcho(const Ipv4Bytes& to, const std::vector<std::uint8_t>& payload,
                      std::int32_t timeout_ms) override;
    /// kMostApiEchoes less the requests in flight, those let go of or already reported
    /// included. 0 with EchoPath::kRawOnly, which starts none (the engine asks only when
    /// there is no raw socket).
    int ApiEchoRoom() override;
    /// kMostApiEchoes; 0 with EchoPath::kRawOnly.
    int MostApiEchoes() override;
    /// Fewer than kMostApiEchoes in flight, or EchoPath::kRawOnly.
    bool HasApiEchoRoom() const;
    IoId Connect(const Ipv4Bytes& to, std::uint16_t port) override;
    /// A lookup let go of is never reported; it keeps its place (HasLookupRoom) until
    /// its thread ends.
    void Close(IoId id) override;
    void Wait(int timeout_ms, IoEvents& events) override;
    void Wake() override;

    /// Any thread.
    ProbeIoSent Sent() const;

    /// On the thread that started the IP helper requests, once nothing starts more: waits
    /// until every one in flight has ended (those let go of included), at most `most_ms`,
    /// alertable under Wine so that its routines run, and lets go of those that ended.
    void Settle(int most_ms);

private:
    struct ApiEcho;
    struct Lookups;
    struct Lookup;

    IoId NextId();
    void Receive(IoEvents& events);
    void CheckConnections(IoEvents& events);
    void CheckApiEchoes(std::int64_t now, IoEvents& events);
    /// True when a lookup's thread ended since the last look, ours or one let go of.
    bool CheckLookups(IoEvents& events);
    /// A lookup's thread: all it touches is `lookup` and what that holds.
    static void RunLookup(std::shared_ptr<Lookup> lookup);
    int ApiEchoesInFlight() const;

    const EchoPath path_;
    const HostNameLookup look_up_;
    UniqueKernelObject wake_;         // auto-reset
    UniqueKernelObject raw_event_;    // FD_READ of raw_
    UniqueKernelObject tcp_event_;    // FD_CONNECT of every socket in connections_
    // Shared with every lookup's thread, which may outlive the io; holds the event each
    // thread sets as it ends (manual reset: the Wait that looks resets it first).
    std::shared_ptr<Lookups> lookups_shared_;
    UniqueSocket raw_;
    IoId last_id_ = 0;
    std::map<IoId, UniqueSocket> connections_;               // pending
    std::vector<IoEvents::Connection> settled_at_once_;      // for the next Wait
    std::map<IoId, std::unique_ptr<ApiEcho>> api_echoes_;    // in flight, the engine's
    std::vector<std::unique_ptr<ApiEcho>> let_go_;           // in flight, closed or reported
    std::map<IoId, std::shared_ptr<Lookup>> lookups_;        // running or ended, the engine's
    std::atomic<std::uint32_t> raw_echoes_sent_{0};
    std::atomic<std::uint32_t> api_echoes_started_{0};
};
