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
        [route](std::string h, std::int32_t l) { return StartEchoProbe(std::move(h), l, route); },
        [](int ms) { Sleep(static_cast<DWORD>(ms)); });
}

TEST_F(EchoProbeWin32, LoopbackAnswersThroughEachRoute) {
    EXPECT_TRUE(ProbeThrough(EchoRoute::kRawOnly, "127.0.0.1", 500));
    EXPECT_TRUE(ProbeThrough(EchoRoute::kIcmpApiOnly, "127.0.0.1", 500));
    EXPECT_TRUE(ProbeWithTimeout("127.0.0.1", 500));
}

TEST_F(EchoProbeWin32, ResolvesDottedTextButNotTheEmptyText) {
    WinsockEchoNetwork network;
    Ipv4Bytes address{};
    ASSERT_TRUE(network.Resolve("192.168.1.10", address));
    EXPECT_EQ(address, (Ipv4Bytes{192, 168, 1, 10}));
    // The resolver reads a leading zero as octal, as Windows' inet_addr does.
    ASSERT_TRUE(network.Resolve("192.168.001.010", address));
    EXPECT_EQ(address, (Ipv4Bytes{192, 168, 1, 8}));
    EXPECT_FALSE(network.Resolve("", address));
    EXPECT_FALSE(ProbeThrough(EchoRoute::kRawThenIcmpApi, "", 100));
}

// On loopback a raw socket hands back our own request as well as the reply, each with
// the IP header the stack wrote: only the reply may count.
TEST_F(EchoProbeWin32, RawSocketSeesOurRequestAndCountsOnlyTheReply) {
    auto socket = WinsockRawIcmpSocket::Open();
    ASSERT_TRUE(socket) << "raw ICMP socket refused, error " << WSAGetLastError();
    const EchoRequest request = BuildEchoRequest(GetTickCount());
    ASSERT_TRUE(socket->SendTo(kLoopback, request));

    int ours = 0;
    int requests_seen = 0;
    std::array<std::uint8_t, kReceiveBufferSize> buffer;
    const DWORD until = GetTickCount() + 500;
    while (static_cast<int>(until - GetTickCount()) > 0) {
        std::size_t size = 0;
        const DatagramWait wait = socket->WaitForDatagram(kProbeSliceMs, buffer.data(), buffer.size(), size);
        ASSERT_NE(wait, DatagramWait::kFailed);
        if (wait != DatagramWait::kReceived || size == 0) continue;
        const std::size_t header = static_cast<std::size_t>(buffer[0] & 0x0F) * 4;
        if (size < header + kEchoRequestSize) continue;  // not an echo of our 48 bytes
        const bool is_ours = IsOurEchoReply(buffer.data(), size, kLoopback);
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
    auto socket = WinsockRawIcmpSocket::Open();
    ASSERT_TRUE(socket);
    std::array<std::uint8_t, kReceiveBufferSize> buffer;
    for (int i = 0; i < 5; ++i) {
        std::size_t size = 0;
        const DWORD start = GetTickCount();
        const DatagramWait wait = socket->WaitForDatagram(kProbeSliceMs, buffer.data(), buffer.size(), size);
        EXPECT_NE(wait, DatagramWait::kFailed);
        // GetTickCount steps in 10-16 ms; a slice of 10 ms must not take more than a few.
        EXPECT_LT(GetTickCount() - start, 100u);
    }
}

TEST_F(EchoProbeWin32, IcmpSendEchoCountsLoopbackReply) {
    WinsockEchoNetwork network;
    const EchoRequest request = BuildEchoRequest(GetTickCount());
    const DWORD start = GetTickCount();
    EXPECT_TRUE(network.EchoThroughIcmpApi(kLoopback, request.data() + kIcmpHeaderSize,
                                           kEchoPayloadSize, 500));
    EXPECT_LT(GetTickCount() - start, 400u);  // it returns with the reply, not at the timeout
}

// A probe whose starter has already given up ends without sending, whatever route.
TEST_F(EchoProbeWin32, AbandonedProbeThreadEnds) {
    for (EchoRoute route : {EchoRoute::kRawOnly, EchoRoute::kIcmpApiOnly}) {
        auto state = std::make_shared<ProbeState>("127.0.0.1", 500);
        ProbeHandle handle(state);
        handle.Abandon();
        EchoProbeThread(state, route);  // runs here: must return, having sent nothing
        EXPECT_EQ(state->result(), ProbeResult::kNoAnswer);
    }
}

}  // namespace
