#pragma once
// One echo probe from start to end, written over a small network interface so that
// its order of steps, its fallback and every way it ends can be checked natively
// with fakes. The Winsock/IP helper implementation is in echo_probe-win32.cpp.
//
// The probe sends one echo request and then waits in bounded slices for the reply,
// judging each datagram with IsOurEchoReply, until the reply comes, the socket
// fails, or its starter abandons it. When no raw ICMP socket can be opened (Windows
// refuses them to non-administrators) it asks the IP helper's IcmpSendEcho instead.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/echo_packet.h"
#include "net/probe_state.h"

/// Upper bound of one wait for a datagram, so that abandonment is seen promptly.
constexpr int kProbeSliceMs = 10;

enum class DatagramWait {
    kNothing,   // the slice passed without a datagram
    kReceived,  // a datagram of `size` bytes is in the buffer
    kTooLarge,  // a datagram did not fit the buffer and was cut; not ours
    kFailed,    // the socket failed; waiting on is pointless
};

/// An open raw ICMP socket. Destroying it closes the socket.
class RawIcmpSocket {
public:
    virtual ~RawIcmpSocket() = default;
    /// Sends the request as one datagram to `to`; true when all of it was sent.
    virtual bool SendTo(const Ipv4Bytes& to, const EchoRequest& request) = 0;
    /// Waits at most `slice_ms` for one datagram and receives it into `buffer`
    /// (`capacity` bytes), IP header included.
    virtual DatagramWait WaitForDatagram(int slice_ms, std::uint8_t* buffer, std::size_t capacity,
                                         std::size_t& size) = 0;
};

/// The platform calls a probe makes.
class EchoNetwork {
public:
    virtual ~EchoNetwork() = default;
    /// Null when no raw ICMP socket can be opened.
    virtual std::unique_ptr<RawIcmpSocket> OpenRawIcmp() = 0;
    /// The first IPv4 address the host text resolves to; false when it resolves to none.
    virtual bool Resolve(const std::string& host, Ipv4Bytes& address) = 0;
    /// Milliseconds since the system started, for the request's time stamp.
    virtual std::uint32_t TickCount() = 0;
    /// Sends one echo request carrying `payload` through the IP helper and waits up to
    /// `timeout_ms` for the answer; true only for a successful echo reply from `to`.
    virtual bool EchoThroughIcmpApi(const Ipv4Bytes& to, const std::uint8_t* payload,
                                    std::size_t size, std::int32_t timeout_ms) = 0;
};

/// Which way a probe may ask. The program always uses kRawThenIcmpApi; tests pin one.
enum class EchoRoute { kRawThenIcmpApi, kRawOnly, kIcmpApiOnly };

/// Runs one probe of `state.host()` and returns its result; any socket is closed
/// before it returns. Stops without sending when the host does not resolve or the
/// probe was abandoned meanwhile. The IcmpSendEcho fallback waits at most
/// `state.limit_ms()`, the time its starter gives it.
ProbeResult RunEchoProbe(const ProbeState& state, EchoNetwork& network,
                         EchoRoute route = EchoRoute::kRawThenIcmpApi);
