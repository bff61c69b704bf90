// Runs under Wine inside the test network namespace only: every echo request goes to
// 127.0.0.1 and every connection to a loopback socket the test opens itself.
//
// The first two tests check, with the bare calls, the two things the io is built on:
// IcmpSendEcho2 completes through its event, and one event can stand for the FD_CONNECT
// of any number of sockets, far more than the 64 handles a wait may cover.
#include "net/probe_io-win32.h"

// icmpapi.h needs the IP helper types declared first.
#include <iphlpapi.h>
#include <icmpapi.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/handles-win32.h"
#include "net/socket-win32.h"

namespace {

const Ipv4Bytes kLoopback = {127, 0, 0, 1};

class ProbeIoWin32 : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(winsock_.started()); }
    WinsockSession winsock_;
};

std::vector<std::uint8_t> PayloadOf(std::uint32_t value) {
    const EchoRequest request = BuildEchoRequest(GetTickCount(), value);
    return std::vector<std::uint8_t>(request.begin() + kIcmpHeaderSize, request.end());
}

// A loopback TCP socket on a port of its own, listening or (bound only) refusing.
UniqueSocket BoundLoopbackSocket(bool listens, std::uint16_t& port) {
    UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in addr = ToSockaddr(kLoopback, {0, 0});
    int size = sizeof addr;
    if (!s || bind(s.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(s.get(), reinterpret_cast<sockaddr*>(&addr), &size) != 0 ||
        (listens && listen(s.get(), SOMAXCONN) != 0)) {
        return UniqueSocket();
    }
    port = ntohs(addr.sin_port);
    return s;
}

TEST_F(ProbeIoWin32, IcmpSendEcho2CompletesEachRequestThroughItsOwnEvent) {
    using UniqueIcmp = UniqueHandle<InvalidIsNone<HANDLE, IcmpCloseHandle>>;
    constexpr int kRequests = 8;
    struct Request {
        UniqueIcmp icmp;
        UniqueKernelObject event;
        std::vector<std::uint8_t> payload;
        std::vector<BYTE> replies;
    };
    std::vector<Request> requests(kRequests);
    std::vector<HANDLE> events;
    IPAddr loopback;
    std::memcpy(&loopback, kLoopback.data(), sizeof loopback);
    for (int i = 0; i < kRequests; ++i) {
        Request& r = requests[i];
        r.icmp.reset(IcmpCreateFile());
        r.event.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        ASSERT_TRUE(r.icmp && r.event);
        r.payload = PayloadOf(0x5EED0000u + i);
        r.replies.resize(sizeof(ICMP_ECHO_REPLY) + r.payload.size() + 8 + 64);
        const DWORD at_once = IcmpSendEcho2(r.icmp.get(), r.event.get(), nullptr, nullptr, loopback, r.payload.data(),
                                            static_cast<WORD>(r.payload.size()), nullptr, r.replies.data(),
                                            static_cast<DWORD>(r.replies.size()), 1000);
        ASSERT_EQ(at_once, 0u) << "request " << i << " completed within the call";
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING)) << "request " << i;
        events.push_back(r.event.get());
    }
    const DWORD start = GetTickCount();
    ASSERT_EQ(WaitForMultipleObjects(kRequests, events.data(), TRUE, 2000), WAIT_OBJECT_0);
    EXPECT_LT(GetTickCount() - start, 500u);  // with the replies, not at the timeout
    for (int i = 0; i < kRequests; ++i) {
        SCOPED_TRACE("request " + std::to_string(i));
        Request& r = requests[i];
        ASSERT_EQ(IcmpParseReplies(r.replies.data(), static_cast<DWORD>(r.replies.size())), 1u);
        ICMP_ECHO_REPLY reply;
        std::memcpy(&reply, r.replies.data(), sizeof reply);
        EXPECT_EQ(reply.Status, static_cast<ULONG>(IP_SUCCESS));
        EXPECT_EQ(reply.Address, loopback);
        ASSERT_EQ(reply.DataSize, r.payload.size());
        const auto* data = static_cast<const BYTE*>(reply.Data);
        ASSERT_TRUE(data >= r.replies.data() && data + reply.DataSize <= r.replies.data() + r.replies.size());
        EXPECT_EQ(std::memcmp(data, r.payload.data(), r.payload.size()), 0);  // each its own data
    }
}

TEST_F(ProbeIoWin32, OneEventReportsTheConnectsOfMoreThan64Sockets) {
    constexpr int kSockets = 100;
    std::uint16_t open_port = 0;
    std::uint16_t closed_port = 0;
    const UniqueSocket listener = BoundLoopbackSocket(true, open_port);
    const UniqueSocket refuser = BoundLoopbackSocket(false, closed_port);
    ASSERT_TRUE(listener && refuser);
    const UniqueKernelObject shared(WSACreateEvent());
    ASSERT_TRUE(shared);

    // The even ones to the listener, the odd ones to the port that refuses.
    std::vector<UniqueSocket> pending;
    for (int i = 0; i < kSockets; ++i) {
        UniqueSocket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        ASSERT_TRUE(s);
        ASSERT_EQ(WSAEventSelect(s.get(), shared.get(), FD_CONNECT), 0);
        const sockaddr_in to = ToSockaddr(kLoopback, ToPortBytes(i % 2 == 0 ? open_port : closed_port));
        ASSERT_NE(connect(s.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK) << "socket " << i << " did not become non-blocking";
        pending.push_back(std::move(s));
    }
    std::vector<int> outcome(kSockets, 0);  // 0 pending, 1 completed, -1 failed
    int left = kSockets;
    const DWORD until = GetTickCount() + 3000;
    while (left > 0 && static_cast<int>(until - GetTickCount()) > 0) {
        if (WaitForSingleObject(shared.get(), until - GetTickCount()) != WAIT_OBJECT_0) break;
        // Reset before looking: an FD_CONNECT recorded after this sets it again.
        ResetEvent(shared.get());
        for (int i = 0; i < kSockets; ++i) {
            if (outcome[i] != 0) continue;
            WSANETWORKEVENTS seen;
            ASSERT_EQ(WSAEnumNetworkEvents(pending[i].get(), nullptr, &seen), 0);
            if ((seen.lNetworkEvents & FD_CONNECT) == 0) continue;
            outcome[i] = seen.iErrorCode[FD_CONNECT_BIT] == 0 ? 1 : -1;
            --left;
        }
    }
    for (int i = 0; i < kSockets; ++i) EXPECT_EQ(outcome[i], i % 2 == 0 ? 1 : -1) << "socket " << i;
}

}  // namespace
