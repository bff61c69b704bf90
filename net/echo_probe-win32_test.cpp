// Runs under Wine inside the test network namespace only: these tests send real
// ICMP echo requests, all of them to 127.0.0.1.
#include "net/echo_probe-win32.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

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
        [](int ms) { Sleep(static_cast<DWORD>(ms)); });
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
