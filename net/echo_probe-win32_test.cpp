// Runs under Wine inside the test network namespace only: these tests send real
// ICMP echo requests, all of them to 127.0.0.1.
#include "net/echo_probe-win32.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "net/probe_wait-win32.h"
#include "net/probe_wait.h"
#include "net/socket-win32.h"

namespace {

const Ipv4Bytes kLoopback = {127, 0, 0, 1};

class EchoProbeWin32 : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(winsock_.started()); }
    WinsockSession winsock_;
};

bool ProbeThrough(EchoRoute route, const char* host, std::int32_t limit_ms) {
    return ProbeWithTimeout(
        host, limit_ms,
        [route](std::string h, std::int32_t l) {
            return StartEchoProbe(std::move(h), l, HostReading::kAddressOnly, route);
        },
        [](int ms) { Sleep(static_cast<DWORD>(ms)); }, MonotonicMs);
}

TEST_F(EchoProbeWin32, LoopbackAnswersThroughEachRoute) {
    EXPECT_TRUE(ProbeThrough(EchoRoute::kRawOnly, "127.0.0.1", 500));
    EXPECT_TRUE(ProbeThrough(EchoRoute::kIcmpApiOnly, "127.0.0.1", 500));
    EXPECT_TRUE(ProbeWithTimeout("127.0.0.1", 500));
}

// The resolver reads "010" as octal, as Windows' inet_addr does; the probe never hands
// it a text of four decimal runs (see ReadIpv4Octets), only names.
TEST_F(EchoProbeWin32, ResolvesNamesButNotTheEmptyText) {
    WinsockEchoNetwork network;
    Ipv4Bytes address{};
    ASSERT_TRUE(network.Resolve("localhost", address));
    EXPECT_EQ(address, (Ipv4Bytes{127, 0, 0, 1}));
    EXPECT_FALSE(network.Resolve("", address));
    EXPECT_FALSE(ProbeThrough(EchoRoute::kRawThenIcmpApi, "", 100));
}

// On loopback a raw socket hands back our own request as well as the reply, each with
// the IP header the stack wrote: only the reply may count.
TEST_F(EchoProbeWin32, RawSocketSeesOurRequestAndCountsOnlyTheReply) {
    auto socket = WinsockProbeSockets::Open(true);
    ASSERT_TRUE(socket) << "raw ICMP socket refused, error " << WSAGetLastError();
    constexpr std::uint32_t kValue = 0x0BADCAFEu;
    const EchoRequest request = BuildEchoRequest(GetTickCount(), kValue);
    ASSERT_TRUE(socket->SendEcho(kLoopback, request));

    int ours = 0;
    int requests_seen = 0;
    std::array<std::uint8_t, kReceiveBufferSize> buffer;
    const DWORD until = GetTickCount() + 500;
    while (static_cast<int>(until - GetTickCount()) > 0) {
        const ProbeWaitResult wait = socket->Wait(kProbeSliceMs, buffer.data(), buffer.size());
        ASSERT_NE(wait.datagram, DatagramWait::kFailed);
        const std::size_t size = wait.size;
        if (wait.datagram != DatagramWait::kReceived || size == 0) continue;
        const std::size_t header = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
        if (size < header + kEchoRequestSize) continue;  // not an echo of our 48 bytes
        const bool is_ours = IsOurEchoReply(buffer.data(), size, kLoopback, kValue);
        EXPECT_FALSE(IsOurEchoReply(buffer.data(), size, kLoopback, kValue + 1));
        if (buffer[header] == 8) {
            ++requests_seen;
            EXPECT_FALSE(is_ours);
        } else if (buffer[header] == 0) {
            EXPECT_TRUE(is_ours);
            ours += is_ours ? 1 : 0;
        }
    }
    EXPECT_EQ(ours, 1);
    EXPECT_LE(requests_seen, 1);
}

TEST_F(EchoProbeWin32, RawWaitReturnsWithinItsSlice) {
    auto socket = WinsockProbeSockets::Open(true);
    ASSERT_TRUE(socket);
    std::array<std::uint8_t, kReceiveBufferSize> buffer;
    for (int i = 0; i < 5; ++i) {
        const DWORD start = GetTickCount();
        const ProbeWaitResult wait = socket->Wait(kProbeSliceMs, buffer.data(), buffer.size());
        EXPECT_NE(wait.datagram, DatagramWait::kFailed);
        // GetTickCount steps in 10-16 ms; a slice of 10 ms must not take more than a few.
        EXPECT_LT(GetTickCount() - start, 100u);
    }
}

// A loopback TCP socket bound to a port of its own; listening or not.
UniqueSocket BoundLoopbackSocket(bool listens, std::uint16_t& port) {
    UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in addr = ToSockaddr(kLoopback, {0, 0});
    int size = sizeof addr;
    if (!s || bind(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(s.get(), reinterpret_cast<sockaddr*>(&addr), &size) != 0 || (listens && listen(s.get(), 4) != 0)) {
        return UniqueSocket();
    }
    port = ntohs(addr.sin_port);
    return s;
}

// Each completed connection is reported under its own kind, also one that completes
// within connect(), as loopback may.
TEST_F(EchoProbeWin32, ReportsTheControlApartFromTheServiceConnections) {
    struct Case {
        bool control_listens;
        bool service_listens;
    };
    for (const Case c : {Case{true, false}, Case{false, true}, Case{true, true}}) {
        SCOPED_TRACE(std::string("control ") + (c.control_listens ? "listens" : "refuses") + ", service " +
                     (c.service_listens ? "listens" : "refuses"));
        std::uint16_t control_port = 0;
        std::uint16_t service_port = 0;
        // Bound but not listening: a connection to it is refused.
        const UniqueSocket control = BoundLoopbackSocket(c.control_listens, control_port);
        const UniqueSocket service = BoundLoopbackSocket(c.service_listens, service_port);
        ASSERT_TRUE(control && service);
        auto sockets = WinsockProbeSockets::Open(false);
        ASSERT_TRUE(sockets);
        ASSERT_TRUE(sockets->Connect(kLoopback, control_port, ConnectionKind::kControl));
        ASSERT_TRUE(sockets->Connect(kLoopback, service_port, ConnectionKind::kService));
        bool control_connected = false;
        bool service_connected = false;
        std::array<std::uint8_t, kReceiveBufferSize> buffer;
        for (int i = 0; i < 20; ++i) {
            const ProbeWaitResult wait = sockets->Wait(kProbeSliceMs, buffer.data(), buffer.size());
            control_connected = control_connected || wait.control_connected;
            service_connected = service_connected || wait.service_connected;
        }
        EXPECT_EQ(control_connected, c.control_listens);
        EXPECT_EQ(service_connected, c.service_listens);
    }
}

TEST_F(EchoProbeWin32, IcmpSendEchoCountsLoopbackReply) {
    const EchoRequest request = BuildEchoRequest(GetTickCount(), 0x0BADCAFEu);
    const DWORD start = GetTickCount();
    EXPECT_TRUE(EchoThroughIcmpApi(kLoopback, std::vector<std::uint8_t>(request.begin() + kIcmpHeaderSize, request.end()),
                                   500));
    EXPECT_LT(GetTickCount() - start, 400u);  // it returns with the reply, not at the timeout
}

// A probe whose starter has already given up ends without sending, whatever route.
TEST_F(EchoProbeWin32, AbandonedProbeThreadEnds) {
    for (EchoRoute route : {EchoRoute::kRawOnly, EchoRoute::kIcmpApiOnly}) {
        auto state = std::make_shared<ProbeState>("127.0.0.1", 500);
        ProbeHandle handle(state);
        handle.Abandon();
        EchoProbeThread(state, HostReading::kAddressOnly, route);  // runs here: must return, having sent nothing
        EXPECT_EQ(state->result(), ProbeResult::kNoAnswer);
    }
}

}  // namespace
