#include "net/echo_probe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Ipv4Bytes kPeer = {10, 77, 0, 2};
constexpr std::uint32_t kTick = 0xA1B2C3D4u;
constexpr std::uint32_t kValue = 0x600DF00Du;

// One received datagram: IP header with `source`, then `icmp`.
Bytes Datagram(const Ipv4Bytes& source, Bytes icmp) {
    Bytes d(20 + icmp.size(), 0);
    d[0] = 0x45;
    d[9] = 1;
    std::memcpy(&d[12], source.data(), 4);
    std::copy(icmp.begin(), icmp.end(), d.begin() + 20);
    return d;
}

Bytes ReplyCarrying(std::uint32_t value) {
    const EchoRequest r = BuildEchoRequest(kTick, value);
    Bytes icmp(r.begin(), r.end());
    icmp[0] = 0;
    return Datagram(kPeer, icmp);
}

Bytes OurReply() { return ReplyCarrying(kValue); }

Bytes OurRequestSeenOnLoopback() {
    const EchoRequest r = BuildEchoRequest(kTick, kValue);
    return Datagram(kPeer, Bytes(r.begin(), r.end()));
}

Bytes HostUnreachableFromRouter() {
    const EchoRequest r = BuildEchoRequest(kTick, kValue);
    Bytes icmp = {3, 1, 0, 0, 0, 0, 0, 0};
    const Bytes quote = Datagram({10, 77, 0, 1}, Bytes(r.begin(), r.begin() + 8));
    icmp.insert(icmp.end(), quote.begin(), quote.end());
    return Datagram({10, 77, 0, 2}, icmp);
}

struct Arrival {
    DatagramWait wait;
    Bytes datagram;
    bool service_connected = false;
    bool control_connected = false;
};

// Fake platform: logs every call in order and replays a script of arrivals. When the
// script runs out, the starter gives up: the state is abandoned, as ProbeHandle would.
class FakeNetwork : public EchoNetwork {
public:
    std::vector<std::string> log;
    bool raw_opens = true;
    bool resolves = true;
    bool send_ok = true;
    bool control_starts = true;
    IcmpApiState api_state = IcmpApiState::kAnswered;
    std::deque<Arrival> arrivals;
    ProbeState* state = nullptr;
    bool abandon_on_resolve = false;
    bool abandon_on_send = false;
    EchoRequest sent{};
    Bytes api_payload;
    std::int32_t api_timeout = 0;

    std::unique_ptr<ProbeSockets> OpenSockets(bool raw_icmp) override {
        log.push_back(raw_icmp ? "open raw" : "open");
        if (raw_icmp && !raw_opens) return nullptr;
        return std::make_unique<Sockets>(*this);
    }
    bool Resolve(const std::string& host, Ipv4Bytes& address) override {
        log.push_back("resolve " + host);
        if (abandon_on_resolve) state->Abandon();
        if (!resolves) return false;
        address = kPeer;
        return true;
    }
    std::uint32_t TickCount() override { return kTick; }
    std::uint32_t NewProbeValue() override { return kValue; }
    std::unique_ptr<IcmpApiEcho> StartEchoThroughIcmpApi(const Ipv4Bytes& to, std::vector<std::uint8_t> payload,
                                                         std::int32_t timeout_ms) override {
        log.push_back("icmp api");
        EXPECT_EQ(to, kPeer);
        api_payload = payload;
        api_timeout = timeout_ms;
        if (abandon_on_send) state->Abandon();
        return std::make_unique<Api>(api_state);
    }

private:
    struct Api : IcmpApiEcho {
        explicit Api(IcmpApiState s) : state(s) {}
        IcmpApiState State() const override { return state; }
        IcmpApiState state;
    };

    class Sockets : public ProbeSockets {
    public:
        explicit Sockets(FakeNetwork& net) : net_(net) {}
        ~Sockets() override { net_.log.push_back("close"); }
        bool SendEcho(const Ipv4Bytes& to, const EchoRequest& request) override {
            net_.log.push_back("send");
            EXPECT_EQ(to, kPeer);
            net_.sent = request;
            if (net_.abandon_on_send) net_.state->Abandon();
            return net_.send_ok;
        }
        bool Connect(const Ipv4Bytes& to, std::uint16_t port, ConnectionKind kind) override {
            const char* role = kind == ConnectionKind::kControl ? " (control)" : "";
            net_.log.push_back("connect " + std::to_string(port) + role);
            EXPECT_EQ(to, kPeer);
            return kind == ConnectionKind::kService || net_.control_starts;
        }
        ProbeWaitResult Wait(int slice_ms, std::uint8_t* buffer, std::size_t capacity) override {
            EXPECT_EQ(slice_ms, kProbeSliceMs);
            EXPECT_EQ(capacity, kReceiveBufferSize);
            net_.log.push_back("wait");
            ProbeWaitResult result;
            if (net_.arrivals.empty()) {
                net_.state->Abandon();
                return result;
            }
            Arrival a = net_.arrivals.front();
            net_.arrivals.pop_front();
            if (!a.datagram.empty()) std::memcpy(buffer, a.datagram.data(), a.datagram.size());
            result.datagram = a.wait;
            result.size = a.datagram.size();
            result.service_connected = a.service_connected;
            result.control_connected = a.control_connected;
            return result;
        }

    private:
        FakeNetwork& net_;
    };
};

const std::vector<std::string> kConnects = {"connect 1 (control)", "connect 445", "connect 139",
                                            "connect 3389",        "connect 22",  "connect 5900"};

std::vector<std::string> Join(std::vector<std::string> head, const std::vector<std::string>& middle,
                              const std::vector<std::string>& tail) {
    head.insert(head.end(), middle.begin(), middle.end());
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

struct Scenario {
    const char* name;
    EchoRoute route;
    bool raw_opens;
    IcmpApiState api_state;
    bool send_ok;
    std::vector<Arrival> arrivals;
    ProbeResult result;
    std::vector<std::string> log;
};

TEST(EchoProbe, SendsOnceThenConnectsAndCountsOnlyOurReplyOrACompletedConnection) {
    const Arrival nothing = {DatagramWait::kNothing, {}};
    const Arrival reply = {DatagramWait::kReceived, OurReply()};
    const Arrival connected = {DatagramWait::kNothing, {}, true};
    const Arrival control = {DatagramWait::kNothing, {}, false, true};
    const Arrival all_connected = {DatagramWait::kNothing, {}, true, true};
    const std::vector<std::string> raw_start = {"open raw", "send"};
    const std::vector<std::string> api_start = {"open raw", "icmp api", "open"};
    auto raw = [&](std::vector<std::string> tail) { return Join(raw_start, kConnects, tail); };
    auto api = [&](std::vector<std::string> tail) { return Join(api_start, kConnects, tail); };
    const IcmpApiState kNone = IcmpApiState::kNoAnswer;
    const Scenario scenarios[] = {
        {"reply after a quiet slice", EchoRoute::kRawThenIcmpApi, true, kNone, true, {nothing, reply},
         ProbeResult::kAnswered, raw({"wait", "wait", "close"})},
        {"foreign datagrams are skipped", EchoRoute::kRawThenIcmpApi, true, kNone, true,
         {{DatagramWait::kReceived, OurRequestSeenOnLoopback()},
          {DatagramWait::kReceived, HostUnreachableFromRouter()},
          {DatagramWait::kReceived, ReplyCarrying(kValue + 1)},  // another probe's reply
          {DatagramWait::kTooLarge, Bytes(kReceiveBufferSize, 0)},
          reply},
         ProbeResult::kAnswered, raw({"wait", "wait", "wait", "wait", "wait", "close"})},
        {"unreachable alone is no answer", EchoRoute::kRawThenIcmpApi, true, kNone, true,
         {{DatagramWait::kReceived, HostUnreachableFromRouter()}}, ProbeResult::kNoAnswer,
         raw({"wait", "wait", "close"})},
        {"a completed connection answers", EchoRoute::kRawThenIcmpApi, true, kNone, true, {nothing, connected},
         ProbeResult::kAnswered, raw({"wait", "wait", "close"})},
        {"a path that completes everything is no answer", EchoRoute::kRawThenIcmpApi, true, kNone, true,
         {all_connected, nothing}, ProbeResult::kNoAnswer, raw({"wait", "wait", "wait", "close"})},
        {"after the control completed, our reply still answers", EchoRoute::kRawThenIcmpApi, true, kNone, true,
         {control, connected, reply}, ProbeResult::kAnswered, raw({"wait", "wait", "wait", "close"})},
        {"receive failure ends the probe", EchoRoute::kRawThenIcmpApi, true, kNone, true,
         {nothing, {DatagramWait::kFailed, {}}, reply}, ProbeResult::kNoAnswer, raw({"wait", "wait", "close"})},
        {"send failure", EchoRoute::kRawThenIcmpApi, true, kNone, false, {}, ProbeResult::kNoAnswer,
         {"open raw", "send", "close"}},
        {"no raw socket: IcmpSendEcho answers", EchoRoute::kRawThenIcmpApi, false, IcmpApiState::kAnswered, true,
         {nothing}, ProbeResult::kAnswered, api({"wait", "close"})},
        {"no raw socket: IcmpSendEcho silent, a connection completes", EchoRoute::kRawThenIcmpApi, false, kNone,
         true, {nothing, nothing, connected}, ProbeResult::kAnswered, api({"wait", "wait", "wait", "close"})},
        {"no raw socket: IcmpSendEcho still waiting, a connection completes", EchoRoute::kRawThenIcmpApi, false,
         IcmpApiState::kPending, true, {connected}, ProbeResult::kAnswered, api({"wait", "close"})},
        {"no raw socket: nothing answers", EchoRoute::kRawThenIcmpApi, false, kNone, true, {nothing},
         ProbeResult::kNoAnswer, api({"wait", "wait", "close"})},
        {"no raw socket, raw only", EchoRoute::kRawOnly, false, kNone, true, {}, ProbeResult::kNoAnswer,
         {"open raw"}},
        {"IcmpSendEcho only", EchoRoute::kIcmpApiOnly, true, IcmpApiState::kAnswered, true, {nothing},
         ProbeResult::kAnswered, Join({"icmp api", "open"}, kConnects, {"wait", "close"})},
    };
    for (const Scenario& s : scenarios) {
        ProbeState state("10.77.0.2", 500);
        FakeNetwork net;
        net.state = &state;
        net.raw_opens = s.raw_opens;
        net.api_state = s.api_state;
        net.send_ok = s.send_ok;
        net.arrivals.assign(s.arrivals.begin(), s.arrivals.end());
        EXPECT_EQ(RunEchoProbe(state, net, HostReading::kAddressOrName, s.route), s.result) << s.name;
        EXPECT_EQ(net.log, s.log) << s.name;
    }
}

TEST(EchoProbe, OpensNoServiceConnectionWithoutItsControl) {
    ProbeState state("10.77.0.2", 500);
    FakeNetwork net;
    net.state = &state;
    net.control_starts = false;
    net.arrivals = {{DatagramWait::kNothing, {}}, {DatagramWait::kReceived, OurReply()}};
    EXPECT_EQ(RunEchoProbe(state, net, HostReading::kAddressOnly), ProbeResult::kAnswered);
    EXPECT_EQ(net.log, (std::vector<std::string>{"open raw", "send", "connect 1 (control)", "wait", "wait", "close"}));
}

// Only a text of four decimal runs is an address; any other goes to the name resolver
// for the watcher, and to nobody for Check.
TEST(EchoProbe, ReadsTheAddressOrResolvesTheNameAsItsStarterAllows) {
    struct Case {
        const char* host;
        HostReading reading;
        bool resolves;
        std::vector<std::string> log_start;  // up to the request, whose address kPeer checks
    };
    const Case cases[] = {
        {"10.77.0.2", HostReading::kAddressOnly, false, {"open raw", "send"}},
        {"010.077.000.002", HostReading::kAddressOnly, false, {"open raw", "send"}},
        {"10.77.0.2", HostReading::kAddressOrName, false, {"open raw", "send"}},
        {"10.77.0.2a", HostReading::kAddressOnly, true, {"open raw", "close"}},
        {"pc-room-4", HostReading::kAddressOnly, true, {"open raw", "close"}},
        {"", HostReading::kAddressOrName, false, {"open raw", "resolve ", "close"}},
        {"10.77.0.2a", HostReading::kAddressOrName, true, {"open raw", "resolve 10.77.0.2a", "send"}},
        {"pc-room-4", HostReading::kAddressOrName, false, {"open raw", "resolve pc-room-4", "close"}},
    };
    for (const Case& c : cases) {
        ProbeState state(c.host, 500);
        FakeNetwork net;
        net.state = &state;
        net.resolves = c.resolves;
        net.arrivals = {{DatagramWait::kReceived, OurReply()}};
        const bool sends = c.log_start.back() == "send";
        EXPECT_EQ(RunEchoProbe(state, net, c.reading),
                  sends ? ProbeResult::kAnswered : ProbeResult::kNoAnswer) << c.host;
        ASSERT_GE(net.log.size(), c.log_start.size()) << c.host;
        EXPECT_EQ(std::vector<std::string>(net.log.begin(), net.log.begin() + c.log_start.size()), c.log_start)
            << c.host;
        if (!sends) {
            EXPECT_EQ(net.log.size(), c.log_start.size()) << c.host;
        }
    }
}

TEST(EchoProbe, SendsTheRequestStampedWithTheTickCountAndItsOwnValue) {
    ProbeState state("10.77.0.2", 500);
    FakeNetwork net;
    net.state = &state;
    net.arrivals = {{DatagramWait::kReceived, OurReply()}};
    ASSERT_EQ(RunEchoProbe(state, net, HostReading::kAddressOnly), ProbeResult::kAnswered);
    EXPECT_EQ(net.sent, BuildEchoRequest(kTick, kValue));
}

TEST(EchoProbe, FallbackSendsTheSameFortyBytesAndWaitsTheStartersLimit) {
    ProbeState state("10.77.0.2", 500);
    FakeNetwork net;
    net.state = &state;
    net.raw_opens = false;
    ASSERT_EQ(RunEchoProbe(state, net, HostReading::kAddressOnly), ProbeResult::kAnswered);
    const EchoRequest request = BuildEchoRequest(kTick, kValue);
    EXPECT_EQ(net.api_payload, Bytes(request.begin() + 8, request.end()));
    EXPECT_EQ(net.api_payload.size(), 40u);
    EXPECT_EQ(net.api_timeout, 500);
}

TEST(EchoProbe, SendsNothingOnceAbandoned) {
    for (EchoRoute route : {EchoRoute::kRawThenIcmpApi, EchoRoute::kIcmpApiOnly}) {
        ProbeState state("pc-room-4", 500);
        FakeNetwork net;
        net.state = &state;
        net.abandon_on_resolve = true;  // the starter gives up while the name resolves
        EXPECT_EQ(RunEchoProbe(state, net, HostReading::kAddressOrName, route), ProbeResult::kNoAnswer);
        for (const std::string& call : net.log) {
            EXPECT_NE(call, "send");
            EXPECT_NE(call, "icmp api");
            EXPECT_EQ(call.find("connect"), std::string::npos);
        }
    }
    // Given up before it began: no name is even looked up.
    {
        ProbeState state("pc-room-4", 500);
        state.Abandon();
        FakeNetwork net;
        net.state = &state;
        EXPECT_EQ(RunEchoProbe(state, net, HostReading::kAddressOrName), ProbeResult::kNoAnswer);
        for (const std::string& call : net.log) EXPECT_EQ(call.find("resolve"), std::string::npos) << call;
    }
    // Given up right after the echo request: no connection follows it.
    for (bool raw : {true, false}) {
        ProbeState state("10.77.0.2", 500);
        FakeNetwork net;
        net.state = &state;
        net.raw_opens = raw;
        net.abandon_on_send = true;
        EXPECT_EQ(RunEchoProbe(state, net, HostReading::kAddressOnly), ProbeResult::kNoAnswer);
        for (const std::string& call : net.log) EXPECT_EQ(call.find("connect"), std::string::npos) << call;
    }
}

// Each wait as the letters of what completed in it: c the control, s a service connection.
TEST(ConnectionEvidence, CountsAServiceConnectionOnlyWhileTheControlHasNotCompleted) {
    struct Case {
        std::vector<std::string> waits;
        int counted_at;  // the wait whose service connection counts; -1: none
    };
    const Case cases[] = {
        {{"s"}, 0},
        {{"", "", "s"}, 2},
        {{"s", "c"}, 0},
        {{"cs"}, -1},  // a local proxy: all at once
        {{"c", "s"}, -1},
        {{"", "c", "", "s", "s"}, -1},
        {{"c", ""}, -1},
    };
    for (const Case& c : cases) {
        ConnectionEvidence evidence;
        int counted_at = -1;
        for (std::size_t i = 0; i < c.waits.size() && counted_at < 0; ++i) {
            const std::string& seen = c.waits[i];
            if (evidence.Counts(seen.find('c') != std::string::npos, seen.find('s') != std::string::npos)) {
                counted_at = static_cast<int>(i);
            }
        }
        EXPECT_EQ(counted_at, c.counted_at) << ::testing::PrintToString(c.waits);
    }
}

// Winsock tells a failed connect in the except set; Linux and some stacks make it
// writable with an error instead. Only writable without an error is a completed one.
TEST(ServiceConnection, CountsOnlyAConnectionThatCompleted) {
    constexpr int kRefused = 10061;  // WSAECONNREFUSED
    constexpr int kTimedOut = 10060;
    struct Case {
        bool writable;
        bool excepted;
        int error;
        ConnectionState state;
    };
    const Case cases[] = {
        {true, false, 0, ConnectionState::kCompleted},  {false, false, 0, ConnectionState::kPending},
        {false, true, kRefused, ConnectionState::kFailed}, {false, true, 0, ConnectionState::kFailed},
        {true, true, 0, ConnectionState::kFailed},       {true, false, kRefused, ConnectionState::kFailed},
        {true, false, kTimedOut, ConnectionState::kFailed},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(JudgeConnection(c.writable, c.excepted, c.error), c.state)
            << c.writable << c.excepted << ' ' << c.error;
    }
}

}  // namespace
