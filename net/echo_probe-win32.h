#pragma once
// Winsock and IP helper side of the echo probe. Needs WSAStartup to have succeeded.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/echo_probe.h"
#include "net/probe_state.h"
#include "net/socket-win32.h"

/// A probe's raw ICMP socket (AF_INET, SOCK_RAW, IPPROTO_ICMP), when it has one, and
/// its non-blocking TCP connections, all watched by one select, so that each wait
/// returns within its slice.
class WinsockProbeSockets final : public ProbeSockets {
public:
    /// With `raw_icmp`: null when socket() fails (WSAEACCES without administrator rights).
    static std::unique_ptr<WinsockProbeSockets> Open(bool raw_icmp);

    bool SendEcho(const Ipv4Bytes& to, const EchoRequest& request) override;
    bool Connect(const Ipv4Bytes& to, std::uint16_t port, ConnectionKind kind) override;
    ProbeWaitResult Wait(int slice_ms, std::uint8_t* buffer, std::size_t capacity) override;

private:
    explicit WinsockProbeSockets(UniqueSocket raw) : raw_(std::move(raw)) {}
    DatagramWait Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t& size);

    struct Connection {
        UniqueSocket socket;
        ConnectionKind kind;
    };

    UniqueSocket raw_;
    std::vector<Connection> pending_;  // connections not yet completed or failed
    ProbeWaitResult completed_;        // connects that completed at once, for the next wait
};

class WinsockEchoNetwork final : public EchoNetwork {
public:
    std::unique_ptr<ProbeSockets> OpenSockets(bool raw_icmp) override;
    /// gethostbyname's first IPv4 address. An empty text resolves to nothing (Winsock
    /// would answer with this machine's own address).
    bool Resolve(const std::string& host, Ipv4Bytes& address) override;
    std::uint32_t TickCount() override;
    /// From the system's random number generator (RtlGenRandom).
    std::uint32_t NewProbeValue() override;
    /// IcmpSendEcho on a detached thread of its own, which holds everything the call
    /// needs and ends with it.
    std::unique_ptr<IcmpApiEcho> StartEchoThroughIcmpApi(const Ipv4Bytes& to, std::vector<std::uint8_t> payload,
                                                         std::int32_t timeout_ms) override;
};

/// IcmpSendEcho with `payload` as the request data; true only for a reply with status
/// IP_SUCCESS whose address is `to` and whose data is `payload` exactly. Blocks up to
/// `timeout_ms` (at least 1).
bool EchoThroughIcmpApi(const Ipv4Bytes& to, const std::vector<std::uint8_t>& payload, std::int32_t timeout_ms);

/// The body of a probe thread: probes `state->host()` and records the result in the
/// state, its sockets already closed. `route` is for tests; the program uses the default.
void EchoProbeThread(std::shared_ptr<ProbeState> state, HostReading reading,
                     EchoRoute route = EchoRoute::kRawThenIcmpApi);

/// Starts EchoProbeThread on a detached thread for a copy of `host`; its starter
/// means to wait at most `limit_ms` for it.
ProbeHandle StartEchoProbe(std::string host, std::int32_t limit_ms, HostReading reading,
                           EchoRoute route = EchoRoute::kRawThenIcmpApi);

/// Check's probe: probes the address `ip_text` names (never a host name) and polls for
/// the answer every 10 ms for `limit_ms`; true when it came in that time. Blocks the
/// caller for the whole limit unless answered sooner; a limit of 0 or less returns
/// false at once.
bool ProbeWithTimeout(std::string ip_text, std::int32_t limit_ms);
