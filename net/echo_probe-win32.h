#pragma once
// Winsock and IP helper side of the echo probe. Needs WSAStartup to have succeeded.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "net/echo_probe.h"
#include "net/probe_state.h"
#include "net/socket-win32.h"

/// A raw ICMP socket (AF_INET, SOCK_RAW, IPPROTO_ICMP). Waits use select, so each
/// returns within its slice.
class WinsockRawIcmpSocket final : public RawIcmpSocket {
public:
    /// Returns the socket, or null when socket() fails (WSAEACCES without
    /// administrator rights).
    static std::unique_ptr<WinsockRawIcmpSocket> Open();

    bool SendTo(const Ipv4Bytes& to, const EchoRequest& request) override;
    DatagramWait WaitForDatagram(int slice_ms, std::uint8_t* buffer, std::size_t capacity,
                                 std::size_t& size) override;

private:
    explicit WinsockRawIcmpSocket(UniqueSocket socket) : socket_(std::move(socket)) {}
    UniqueSocket socket_;
};

class WinsockEchoNetwork final : public EchoNetwork {
public:
    std::unique_ptr<RawIcmpSocket> OpenRawIcmp() override;
    /// gethostbyname's first IPv4 address. An empty text resolves to nothing (Winsock
    /// would answer with this machine's own address).
    bool Resolve(const std::string& host, Ipv4Bytes& address) override;
    std::uint32_t TickCount() override;
    /// IcmpSendEcho with `payload` as the request data; true only for a reply with
    /// status IP_SUCCESS whose address is `to`. Blocks up to `timeout_ms` (at least 1).
    bool EchoThroughIcmpApi(const Ipv4Bytes& to, const std::uint8_t* payload, std::size_t size,
                            std::int32_t timeout_ms) override;
};

/// The body of a probe thread: probes `state->host()` and records the result in the
/// state, its socket already closed. `route` is for tests; the program uses the default.
void EchoProbeThread(std::shared_ptr<ProbeState> state,
                     EchoRoute route = EchoRoute::kRawThenIcmpApi);

/// Starts EchoProbeThread on a detached thread for a copy of `host`; its starter
/// means to wait at most `limit_ms` for it.
ProbeHandle StartEchoProbe(std::string host, std::int32_t limit_ms,
                           EchoRoute route = EchoRoute::kRawThenIcmpApi);

/// Sends one echo request to `ip_text` and polls for the answer every 10 ms for
/// `limit_ms`; true when it came in that time. Blocks the caller for the whole limit
/// unless answered sooner; a limit of 0 or less returns false at once.
bool ProbeWithTimeout(std::string ip_text, std::int32_t limit_ms);
