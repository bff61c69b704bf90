// Runs under Wine inside the test network namespace only: echo requests go to
// 127.0.0.1 and to the test network's addresses (10.77.0.3 is held by nobody), every
// connection to a loopback socket the test opens itself.
//
// The io rests on two things Wine must do as Windows does: IcmpSendEcho2 returns at
// once and completes through its event (checked first, with the bare calls, since the
// io would pass its own tests on loopback even if the call blocked), and one event
// stands for the FD_CONNECT of any number of sockets, far more than the 64 handles a
// wait may cover (ReportsEveryConnectionOnceAndNoneThatWasClosed: 100 sockets, one event).
#include "net/probe_io-win32.h"

// icmpapi.h needs the IP helper types declared first.
#include <iphlpapi.h>
#include <winternl.h>
#define PIO_APC_ROUTINE_DEFINED
#include <icmpapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/handles-win32.h"
#include "common/windows_version-win32.h"
#include "net/socket-win32.h"

namespace {

// Never run here (no wait is alertable). Its only use: Wine 8 frees a request's status
// block while the request runs unless an APC routine is given, and the request's end
// then writes into freed memory (see probe_io-win32.cpp).
void NTAPI NeverRuns(PVOID, PIO_STATUS_BLOCK, ULONG) {}

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
        const DWORD at_once = IcmpSendEcho2(r.icmp.get(), r.event.get(), NeverRuns, nullptr, loopback, r.payload.data(),
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

// Waits in turns until `enough` says so or `ms` have passed; everything seen.
IoEvents WaitFor(WinsockProbeIo& io, int ms, const std::function<bool(const IoEvents&)>& enough) {
    IoEvents events;
    const std::int64_t end = io.NowMs() + ms;
    while (!enough(events) && io.NowMs() < end) io.Wait(static_cast<int>(end - io.NowMs()), events);
    return events;
}

TEST_F(ProbeIoWin32, EachPathOpensOnlyWhatItAllows) {
    struct Case {
        EchoPath path;
        bool raw;
        bool api;
        int room;
    };
    for (const Case c : {Case{EchoPath::kRawThenIpHelper, true, true, kMostApiEchoes},
                         Case{EchoPath::kRawOnly, true, false, 0}, Case{EchoPath::kIpHelperOnly, false, true, kMostApiEchoes}}) {
        SCOPED_TRACE(static_cast<int>(c.path));
        WinsockProbeIo io(c.path);
        ASSERT_TRUE(io.IsReady());
        EXPECT_EQ(io.HasRawSocket(), c.raw) << "raw ICMP socket, error " << WSAGetLastError();
        // kRawOnly never starts a request, and never has its orders wait for room.
        EXPECT_TRUE(io.HasApiEchoRoom());
        EXPECT_EQ(io.ApiEchoRoom(), c.room);
        EXPECT_EQ(io.StartApiEcho(kLoopback, PayloadOf(1), 500) != 0, c.api);
    }
}

// On loopback the raw socket hands back our own request as well as the reply.
TEST_F(ProbeIoWin32, RawSocketSeesOurReplyAndNotOurRequestAsOurs) {
    WinsockProbeIo io(EchoPath::kRawOnly);
    ASSERT_TRUE(io.HasRawSocket());
    constexpr std::uint32_t kValue = 0x0BADCAFEu;
    ASSERT_TRUE(io.SendRawEcho(kLoopback, BuildEchoRequest(io.TickCount(), kValue)));
    int ours = 0;
    int requests = 0;
    const IoEvents events = WaitFor(io, 300, [](const IoEvents&) { return false; });
    for (const std::vector<std::uint8_t>& d : events.datagrams) {
        const std::size_t header = static_cast<std::size_t>(d[0] & 0x0F) * 4;
        if (d.size() < header + kEchoRequestSize) continue;  // not an echo of our 48 bytes
        const bool is_ours = IsOurEchoReply(d.data(), d.size(), kLoopback, kValue);
        EXPECT_FALSE(IsOurEchoReply(d.data(), d.size(), kLoopback, kValue + 1));
        requests += d[header] == 8 ? 1 : 0;
        EXPECT_EQ(is_ours, d[header] == 0);
        ours += is_ours ? 1 : 0;
    }
    EXPECT_EQ(ours, 1);
    EXPECT_LE(requests, 1);
    EXPECT_FALSE(events.raw_failed);
}

TEST_F(ProbeIoWin32, IpHelperEchoesAnswerEachUnderItsOwnId) {
    WinsockProbeIo io(EchoPath::kIpHelperOnly);
    std::vector<IoId> ids;
    for (std::uint32_t i = 0; i < 4; ++i) ids.push_back(io.StartApiEcho(kLoopback, PayloadOf(i), 1000));
    const std::int64_t start = io.NowMs();
    const IoEvents events = WaitFor(io, 2000, [&](const IoEvents& e) { return e.api_echoes.size() >= ids.size(); });
    EXPECT_LT(io.NowMs() - start, 500);  // with the replies, not at the timeout
    ASSERT_EQ(events.api_echoes.size(), ids.size());
    for (const IoEvents::ApiEcho& echo : events.api_echoes) {
        EXPECT_TRUE(echo.answered);
        EXPECT_EQ(std::count(ids.begin(), ids.end(), echo.id), 1);
    }
}

// Through the io: every connection reported once, under its id, closed; one let go of
// before the wait is not reported at all.
TEST_F(ProbeIoWin32, ReportsEveryConnectionOnceAndNoneThatWasClosed) {
    std::uint16_t open_port = 0;
    std::uint16_t closed_port = 0;
    const UniqueSocket listener = BoundLoopbackSocket(true, open_port);
    const UniqueSocket refuser = BoundLoopbackSocket(false, closed_port);
    ASSERT_TRUE(listener && refuser);
    WinsockProbeIo io(EchoPath::kIpHelperOnly);
    std::map<IoId, ConnectionState> expected;
    for (int i = 0; i < 100; ++i) {
        const bool opens = i % 2 == 0;
        const IoId id = io.Connect(kLoopback, opens ? open_port : closed_port);
        ASSERT_NE(id, 0u);
        if (i % 10 == 9) {
            io.Close(id);
        } else {
            expected[id] = opens ? ConnectionState::kCompleted : ConnectionState::kFailed;
        }
    }
    const IoEvents events = WaitFor(io, 3000, [&](const IoEvents& e) { return e.connections.size() >= expected.size(); });
    std::map<IoId, ConnectionState> seen;
    for (const IoEvents::Connection& c : events.connections) EXPECT_TRUE(seen.emplace(c.id, c.state).second);
    EXPECT_EQ(seen, expected);
    // Nothing more comes: the 10 closed ones included.
    EXPECT_TRUE(WaitFor(io, 100, [](const IoEvents&) { return false; }).connections.empty());
}

TEST_F(ProbeIoWin32, WakeEndsTheWaitAtOnceAndOnlyOnce) {
    // Without a raw socket: the ICMP that other tests' probes still draw (a late
    // "unreachable" for 10.77.0.3) would end a wait too.
    WinsockProbeIo io(EchoPath::kIpHelperOnly);
    std::int64_t start = io.NowMs();
    std::thread waker([&io] {
        Sleep(50);
        io.Wake();
    });
    IoEvents events;
    io.Wait(5000, events);
    waker.join();
    EXPECT_TRUE(events.woken);
    EXPECT_LT(io.NowMs() - start, 500);

    io.Wake();  // before the wait: that one ends at once
    events = IoEvents{};
    io.Wait(5000, events);
    EXPECT_TRUE(events.woken);
    start = io.NowMs();
    events = IoEvents{};
    io.Wait(100, events);  // the wake was used up: this one lasts its time
    EXPECT_FALSE(events.woken);
    EXPECT_GE(io.NowMs() - start, 90);
}

// A request let go of keeps its buffer until its call ends, and is never reported;
// requests in flight, let go of or not, are held to what one wait can cover.
TEST_F(ProbeIoWin32, ClosingIpHelperEchoesInFlightIsSafeAndCapped) {
    WinsockProbeIo io(EchoPath::kIpHelperOnly);
    for (int round = 0; round < 5; ++round) {
        std::vector<IoId> ids;
        for (int i = 0; i < kMostApiEchoes; ++i) {
            EXPECT_EQ(io.ApiEchoRoom(), kMostApiEchoes - i);
            ids.push_back(io.StartApiEcho(kLoopback, PayloadOf(i), 1000));
        }
        EXPECT_EQ(std::count(ids.begin(), ids.end(), 0u), 0);
        EXPECT_EQ(io.StartApiEcho(kLoopback, PayloadOf(0), 1000), 0u);  // full
        EXPECT_FALSE(io.HasApiEchoRoom());
        EXPECT_EQ(io.ApiEchoRoom(), 0);
        for (const IoId id : ids) io.Close(id);
        EXPECT_TRUE(WaitFor(io, 300, [](const IoEvents&) { return false; }).api_echoes.empty());
    }
    // Every call ended within those waits and its buffer went: there is room again.
    EXPECT_TRUE(io.HasApiEchoRoom());
    EXPECT_EQ(io.ApiEchoRoom(), kMostApiEchoes);
    const IoId id = io.StartApiEcho(kLoopback, PayloadOf(7), 1000);
    ASSERT_NE(id, 0u);
    io.Close(id);  // the destructor waits for this one
}

// The orders that wait for room wait on the io: a wait returns as soon as a request
// that was let go of ends and makes room, though it has nothing to report.
TEST_F(ProbeIoWin32, AWaitReturnsWhenALetGoRequestMakesRoom) {
    const Ipv4Bytes kNobody = {10, 77, 0, 3};
    WinsockProbeIo io(EchoPath::kIpHelperOnly);
    for (int i = 0; i < kMostApiEchoes; ++i) {
        const IoId id = io.StartApiEcho(kNobody, PayloadOf(i), 300);
        ASSERT_NE(id, 0u);
        io.Close(id);
    }
    ASSERT_FALSE(io.HasApiEchoRoom());
    const std::int64_t start = io.NowMs();
    IoEvents events;
    io.Wait(3000, events);
    EXPECT_LT(io.NowMs() - start, 1000);  // at the requests' 300 ms, not the wait's 3 s
    EXPECT_TRUE(io.HasApiEchoRoom());
    EXPECT_TRUE(events.api_echoes.empty());
    EXPECT_FALSE(events.woken);
}

// Texts that resolve without a query on the wire (the hosts file, a numeric text), an
// empty text, and a name nobody holds: its query goes to the peer, where nothing answers.
TEST_F(ProbeIoWin32, LookupsComeBackThroughWaitEachUnderItsOwnId) {
    const struct {
        const char* host;
        bool found;
        Ipv4Bytes address;
    } cases[] = {
        {"localhost", true, {127, 0, 0, 1}},
        {"10.77.0.2", true, {10, 77, 0, 2}},
        {"", false, {}},
        {"no-such-pc.invalid", false, {}},
    };
    static_assert(std::size(cases) <= kMostLookups, "all at once");
    WinsockProbeIo io(EchoPath::kIpHelperOnly);
    std::map<IoId, std::size_t> case_of;
    for (std::size_t i = 0; i < std::size(cases); ++i) case_of[io.StartLookup(cases[i].host)] = i;
    ASSERT_EQ(case_of.count(0), 0u);
    const IoEvents events = WaitFor(io, 10000, [&](const IoEvents& e) { return e.lookups.size() >= case_of.size(); });
    ASSERT_EQ(events.lookups.size(), case_of.size());
    for (const IoEvents::Lookup& lookup : events.lookups) {
        ASSERT_EQ(case_of.count(lookup.id), 1u);
        const auto& c = cases[case_of[lookup.id]];
        SCOPED_TRACE(c.host);
        EXPECT_EQ(lookup.found, c.found);
        if (c.found) {
            EXPECT_EQ(lookup.address, c.address);
        }
    }
    EXPECT_TRUE(io.HasLookupRoom());
}

// A stand-in for a sleeping PC's name, which takes seconds to fail: each lookup blocks
// until the test opens the gate (at most 10 s), then finds nothing.
struct Gate {
    UniqueKernelObject open{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<int> returned{0};
};

HostNameLookup GatedLookup(const std::shared_ptr<Gate>& gate) {
    return [gate](const std::string&, Ipv4Bytes&) {
        WaitForSingleObject(gate->open.get(), 10000);
        ++gate->returned;
        return false;
    };
}

// A lookup let go of holds its room until its thread ends and is never reported; a wait
// returns as the threads end.
TEST_F(ProbeIoWin32, LookupsHoldTheirRoomUntilTheirThreadsEnd) {
    const auto gate = std::make_shared<Gate>();
    WinsockProbeIo io(EchoPath::kIpHelperOnly, GatedLookup(gate));
    std::vector<IoId> ids;
    for (int i = 0; i < kMostLookups; ++i) ids.push_back(io.StartLookup("sleeping-pc"));
    ASSERT_EQ(std::count(ids.begin(), ids.end(), 0u), 0);
    EXPECT_FALSE(io.HasLookupRoom());
    EXPECT_EQ(io.StartLookup("one-more"), 0u);
    io.Close(ids[0]);
    EXPECT_FALSE(io.HasLookupRoom());  // its thread still runs
    EXPECT_TRUE(WaitFor(io, 100, [](const IoEvents&) { return false; }).lookups.empty());

    SetEvent(gate->open.get());
    const std::int64_t start = io.NowMs();
    const IoEvents events =
        WaitFor(io, 5000, [&](const IoEvents& e) { return e.lookups.size() >= ids.size() - 1 && io.HasLookupRoom(); });
    EXPECT_LT(io.NowMs() - start, 1000);  // as the threads end, not at the wait's end
    std::vector<IoId> reported;
    for (const IoEvents::Lookup& lookup : events.lookups) {
        EXPECT_FALSE(lookup.found);
        reported.push_back(lookup.id);
    }
    std::sort(reported.begin(), reported.end());
    EXPECT_EQ(reported, std::vector<IoId>(ids.begin() + 1, ids.end()));
    EXPECT_TRUE(WaitFor(io, 100, [](const IoEvents&) { return false; }).lookups.empty());
}

TEST_F(ProbeIoWin32, AnIoGoesWithoutWaitingForItsLookups) {
    const auto gate = std::make_shared<Gate>();
    const DWORD start = GetTickCount();
    {
        WinsockProbeIo io(EchoPath::kIpHelperOnly, GatedLookup(gate));
        ASSERT_NE(io.StartLookup("sleeping-pc"), 0u);
        const IoId let_go = io.StartLookup("sleeping-pc");
        ASSERT_NE(let_go, 0u);
        io.Close(let_go);
    }
    EXPECT_LT(GetTickCount() - start, 1000u);  // not the gate's 10 s
    // The threads end after the io, on what they hold themselves.
    SetEvent(gate->open.get());
    for (int i = 0; i < 200 && gate->returned.load() < 2; ++i) Sleep(10);
    EXPECT_EQ(gate->returned.load(), 2);
}

// Through RtlGetVersion, which Wine answers with the version its prefix is set to.
TEST(WindowsVersion, IsOneThatRunsTheProgram) {
    EXPECT_GE(WindowsMajorVersion(), 5u);
}

// Only a send that Windows refuses (WSAEACCES; on the test network a broadcast address
// without SO_BROADCAST) drops the raw socket; one to an address without a route keeps
// it. Only a send that went counts.
TEST_F(ProbeIoWin32, OnlyARefusedRawSendDropsTheRawSocket) {
    const struct {
        const char* what;
        Ipv4Bytes to;
        bool sent;
        bool keeps_socket;
    } cases[] = {
        {"the peer", {10, 77, 0, 2}, true, true},
        {"no route", {10, 99, 0, 1}, false, true},
        {"the LAN's broadcast", {10, 77, 0, 255}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WinsockProbeIo io(EchoPath::kRawOnly);
        ASSERT_TRUE(io.HasRawSocket());
        EXPECT_EQ(io.SendRawEcho(c.to, BuildEchoRequest(io.TickCount(), 1)), c.sent) << WSAGetLastError();
        EXPECT_EQ(io.HasRawSocket(), c.keeps_socket);
        EXPECT_EQ(io.Sent().raw_echoes, c.sent ? 1u : 0u);
        // The peer is reached afterwards exactly when the socket stayed.
        EXPECT_EQ(io.SendRawEcho({10, 77, 0, 2}, BuildEchoRequest(io.TickCount(), 2)), c.keeps_socket);
    }
}

}  // namespace
