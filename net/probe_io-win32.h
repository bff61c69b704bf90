#pragma once
// The probe engine's Winsock and IP helper side. Needs WSAStartup to have succeeded.
//
// Everything the engine waits for is one WaitForMultipleObjects over at most 64 handles:
// a wake event, the raw ICMP socket's FD_READ event, one event that every pending TCP
// connection signals its FD_CONNECT on (so any number of them fit), and one event per
// IP helper request in flight (IcmpSendEcho2). After the wait the io looks at each of
// them without blocking and reports what it found.
#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
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
/// included: with the wake, raw socket and TCP events, the 64 handles of one wait.
constexpr int kMostApiEchoes = MAXIMUM_WAIT_OBJECTS - 3;

/// How long past its own timeout a request that was let go of keeps its buffer when its
/// event has not fired, in case the call still writes it.
constexpr std::int32_t kApiEchoMarginMs = 2000;

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
    explicit WinsockProbeIo(EchoPath path = EchoPath::kRawThenIpHelper);
    /// Waits for every IP helper request still in flight, each at most its remaining
    /// time plus the margin, before freeing its buffer.
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
    /// gethostbyname's first IPv4 address. An empty text resolves to nothing (Winsock
    /// would answer with this machine's own address).
    bool Resolve(const std::string& host, Ipv4Bytes& address) override;
    bool HasRawSocket() override;
    /// A send that fails with WSAEACCES drops the raw socket for good: a limited user
    /// on XP gets the socket but no send through it. (A send to a broadcast address
    /// fails so too; the IP helper then carries the echoes, as well.) Any other
    /// failure is the destination's: unreachable, or no buffer for now.
    bool SendRawEcho(const Ipv4Bytes& to, const EchoRequest& request) override;
    /// IcmpSendEcho2 with an event of the request's own. 0 with EchoPath::kRawOnly, or
    /// when kMostApiEchoes are in flight.
    IoId StartApiEcho(const Ipv4Bytes& to, const std::vector<std::uint8_t>& payload,
                      std::int32_t timeout_ms) override;
    /// Fewer than kMostApiEchoes in flight, or EchoPath::kRawOnly.
    bool HasApiEchoRoom() override;
    IoId Connect(const Ipv4Bytes& to, std::uint16_t port) override;
    void Close(IoId id) override;
    void Wait(int timeout_ms, IoEvents& events) override;
    void Wake() override;

    /// Any thread.
    ProbeIoSent Sent() const;

private:
    struct ApiEcho;

    IoId NextId();
    void Receive(IoEvents& events);
    void CheckConnections(IoEvents& events);
    void CheckApiEchoes(std::int64_t now, IoEvents& events);
    int ApiEchoesInFlight() const;

    const EchoPath path_;
    UniqueKernelObject wake_;         // auto-reset
    UniqueKernelObject raw_event_;    // FD_READ of raw_
    UniqueKernelObject tcp_event_;    // FD_CONNECT of every socket in connections_
    UniqueSocket raw_;
    IoId last_id_ = 0;
    std::map<IoId, UniqueSocket> connections_;               // pending
    std::vector<IoEvents::Connection> settled_at_once_;      // for the next Wait
    std::map<IoId, std::unique_ptr<ApiEcho>> api_echoes_;    // in flight, ours
    std::vector<std::unique_ptr<ApiEcho>> let_go_;           // in flight, closed
    std::atomic<std::uint32_t> raw_echoes_sent_{0};
    std::atomic<std::uint32_t> api_echoes_started_{0};
};
