#pragma once
// One probe from start to end, written over a small network interface so that its
// order of steps, its fallback and every way it ends can be checked natively with
// fakes. The Winsock/IP helper implementation is in echo_probe-win32.cpp.
//
// The probe reads its address, sends one echo request carrying a value of its own,
// then opens non-blocking TCP connections to the same address, a control to a port
// where nothing listens and then common service ports, and waits for all of them
// together in bounded slices until an answer comes, the raw socket fails, or its
// starter abandons it. An answer is our echo reply (IsOurEchoReply) or a completed
// service connection (JudgeConnection) that ConnectionEvidence counts; refusals,
// resets and ICMP errors are not, since a router or a filter may send them on the
// target's behalf. When no raw ICMP socket can be opened (Windows refuses them to
// non-administrators) the echo request goes through the IP helper's IcmpSendEcho,
// on a thread of its own, so that it never holds up the connections.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/echo_packet.h"
#include "net/probe_engine.h"
#include "net/probe_state.h"

/// Upper bound of one wait, so that abandonment is seen promptly.
constexpr int kProbeSliceMs = 10;

enum class ConnectionKind { kControl, kService };

enum class DatagramWait {
    kNothing,   // the slice passed without a datagram
    kReceived,  // a datagram of `size` bytes is in the buffer
    kTooLarge,  // a datagram did not fit the buffer and was cut; not ours
    kFailed,    // the socket failed; waiting on is pointless
};

/// The state of one non-blocking connection after a wait that watched it for writing
/// and for exceptions, with the socket's SO_ERROR: in the except set (Winsock's way of
/// telling a failed connect) or writable with an error, it failed; writable without
/// one, it completed; otherwise it is still pending.
ConnectionState JudgeConnection(bool writable, bool in_except_set, int socket_error);

/// What one wait saw.
struct ProbeWaitResult {
    DatagramWait datagram = DatagramWait::kNothing;  // on the raw socket
    std::size_t size = 0;                            // of a received datagram
    bool control_connected = false;                  // the control connection completed
    bool service_connected = false;                  // a service connection completed
};

/// The sockets of one probe: a raw ICMP socket when it has one, and its TCP
/// connections. Destroying it closes them all.
class ProbeSockets {
public:
    virtual ~ProbeSockets() = default;
    /// Sends the request through the raw socket as one datagram; true when all of it
    /// was sent. False without a raw socket.
    virtual bool SendEcho(const Ipv4Bytes& to, const EchoRequest& request) = 0;
    /// Starts a non-blocking connection of `kind` to `to`:`port`, on which nothing is
    /// ever sent; false when it could not be started.
    virtual bool Connect(const Ipv4Bytes& to, std::uint16_t port, ConnectionKind kind) = 0;
    /// Waits at most `slice_ms`, in one wait, for a datagram on the raw socket (received
    /// into `buffer`, `capacity` bytes, IP header included) and for the pending
    /// connections, each judged with JudgeConnection and reported by its kind; one that
    /// completed within Connect is reported by the next wait. A connection is closed as
    /// soon as it has completed or failed.
    virtual ProbeWaitResult Wait(int slice_ms, std::uint8_t* buffer, std::size_t capacity) = 0;
};

enum class IcmpApiState { kPending, kAnswered, kNoAnswer };

/// An echo request sent through the IP helper, waiting for its answer on a thread of
/// its own. Destroying it lets go of the call, which ends by itself within its limit.
class IcmpApiEcho {
public:
    virtual ~IcmpApiEcho() = default;
    virtual IcmpApiState State() const = 0;
};

/// The platform calls a probe makes.
class EchoNetwork {
public:
    virtual ~EchoNetwork() = default;
    /// Sockets for one probe, with a raw ICMP socket when `raw_icmp` is set (null when
    /// none can be opened), or without one (null only when out of resources).
    virtual std::unique_ptr<ProbeSockets> OpenSockets(bool raw_icmp) = 0;
    /// The first IPv4 address a host name resolves to; false when it resolves to none.
    virtual bool Resolve(const std::string& host, Ipv4Bytes& address) = 0;
    /// Milliseconds since the system started, for the request's time stamp.
    virtual std::uint32_t TickCount() = 0;
    /// A value nobody can predict, fresh for every probe.
    virtual std::uint32_t NewProbeValue() = 0;
    /// Sends one echo request carrying `payload` through the IP helper and returns once
    /// it is on its way; the answer counts when it is a successful echo reply from `to`
    /// that hands back exactly `payload`, within `timeout_ms`. Null when the call could
    /// not be started.
    virtual std::unique_ptr<IcmpApiEcho> StartEchoThroughIcmpApi(const Ipv4Bytes& to,
                                                                 std::vector<std::uint8_t> payload,
                                                                 std::int32_t timeout_ms) = 0;
};

/// Which way a probe may ask. The program always uses kRawThenIcmpApi; tests pin one.
enum class EchoRoute { kRawThenIcmpApi, kRawOnly, kIcmpApiOnly };

/// Runs one probe of `state.host()` and returns its result; every socket is closed
/// before it returns. Stops without sending when the host gives no address or the
/// probe was abandoned meanwhile, and opens no connection once abandoned; without its
/// control connection it opens no service connection either. The
/// IcmpSendEcho fallback waits at most `state.limit_ms()`, the time its starter gives it.
ProbeResult RunEchoProbe(const ProbeState& state, EchoNetwork& network, HostReading reading,
                         EchoRoute route = EchoRoute::kRawThenIcmpApi);
