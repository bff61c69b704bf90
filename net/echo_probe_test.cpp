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

// One received datagram: IP header with `source`, then `icmp`.
Bytes Datagram(const Ipv4Bytes& source, Bytes icmp) {
    Bytes d(20 + icmp.size(), 0);
    d[0] = 0x45;
    d[9] = 1;
    std::memcpy(&d[12], source.data(), 4);
    std::copy(icmp.begin(), icmp.end(), d.begin() + 20);
    return d;
}

Bytes OurReply() {
    const EchoRequest r = BuildEchoRequest(kTick);
    Bytes icmp(r.begin(), r.end());
    icmp[0] = 0;
    return Datagram(kPeer, icmp);
}

Bytes OurRequestSeenOnLoopback() {
    const EchoRequest r = BuildEchoRequest(kTick);
    return Datagram(kPeer, Bytes(r.begin(), r.end()));
}

Bytes HostUnreachableFromRouter() {
    const EchoRequest r = BuildEchoRequest(kTick);
    Bytes icmp = {3, 1, 0, 0, 0, 0, 0, 0};
    const Bytes quote = Datagram({10, 77, 0, 1}, Bytes(r.begin(), r.begin() + 8));
    icmp.insert(icmp.end(), quote.begin(), quote.end());
    return Datagram({10, 77, 0, 2}, icmp);
}

struct Arrival {
    DatagramWait wait;
    Bytes datagram;
};

// Fake platform: logs every call in order and replays a script of arrivals. When the
// script runs out, the starter gives up: the state is abandoned, as ProbeHandle would.
class FakeNetwork : public EchoNetwork {
public:
    std::vector<std::string> log;
    bool raw_opens = true;
    bool resolves = true;
    bool send_ok = true;
    bool api_answers = true;
    std::deque<Arrival> arrivals;
    ProbeState* state = nullptr;
    bool abandon_on_resolve = false;
    EchoRequest sent{};
    Bytes api_payload;
    std::int32_t api_timeout = 0;

    std::unique_ptr<RawIcmpSocket> OpenRawIcmp() override {
        log.push_back("open raw");
        if (!raw_opens) return nullptr;
        return std::make_unique<Socket>(*this);
    }
    bool Resolve(const std::string& host, Ipv4Bytes& address) override {
        log.push_back("resolve " + host);
        if (abandon_on_resolve) state->Abandon();
        if (!resolves) return false;
        address = kPeer;
        return true;
    }
    std::uint32_t TickCount() override { return kTick; }
    bool EchoThroughIcmpApi(const Ipv4Bytes& to, const std::uint8_t* payload, std::size_t size,
                            std::int32_t timeout_ms) override {
        log.push_back("icmp api");
        EXPECT_EQ(to, kPeer);
        api_payload.assign(payload, payload + size);
        api_timeout = timeout_ms;
        return api_answers;
    }

private:
    class Socket : public RawIcmpSocket {
    public:
        explicit Socket(FakeNetwork& net) : net_(net) {}
        ~Socket() override { net_.log.push_back("close"); }
        bool SendTo(const Ipv4Bytes& to, const EchoRequest& request) override {
            net_.log.push_back("send");
            EXPECT_EQ(to, kPeer);
            net_.sent = request;
            return net_.send_ok;
        }
        DatagramWait WaitForDatagram(int slice_ms, std::uint8_t* buffer, std::size_t capacity,
                                     std::size_t& size) override {
            EXPECT_EQ(slice_ms, kProbeSliceMs);
            EXPECT_EQ(capacity, kReceiveBufferSize);
            net_.log.push_back("wait");
            if (net_.arrivals.empty()) {
                net_.state->Abandon();
                return DatagramWait::kNothing;
            }
            Arrival a = net_.arrivals.front();
            net_.arrivals.pop_front();
            if (!a.datagram.empty()) std::memcpy(buffer, a.datagram.data(), a.datagram.size());
            size = a.datagram.size();
            return a.wait;
        }

    private:
        FakeNetwork& net_;
    };
};

struct Scenario {
    const char* name;
    EchoRoute route;
    bool raw_opens;
    bool resolves;
    bool send_ok;
    bool api_answers;
    std::vector<Arrival> arrivals;
    ProbeResult result;
    std::vector<std::string> log;
};

TEST(EchoProbe, SendsOnceAndCountsOnlyOurReply) {
    const Arrival nothing = {DatagramWait::kNothing, {}};
    const Arrival reply = {DatagramWait::kReceived, OurReply()};
    const std::vector<std::string> raw_start = {"open raw", "resolve 10.77.0.2", "send"};
    auto with = [&](std::vector<std::string> tail) {
        std::vector<std::string> all = raw_start;
        all.insert(all.end(), tail.begin(), tail.end());
        return all;
    };
    const Scenario scenarios[] = {
        {"reply after a quiet slice", EchoRoute::kRawThenIcmpApi, true, true, true, false,
         {nothing, reply}, ProbeResult::kAnswered, with({"wait", "wait", "close"})},
        {"foreign datagrams are skipped", EchoRoute::kRawThenIcmpApi, true, true, true, false,
         {{DatagramWait::kReceived, OurRequestSeenOnLoopback()},
          {DatagramWait::kReceived, HostUnreachableFromRouter()},
          {DatagramWait::kTooLarge, Bytes(kReceiveBufferSize, 0)},
          reply},
         ProbeResult::kAnswered, with({"wait", "wait", "wait", "wait", "close"})},
        {"unreachable alone is no answer", EchoRoute::kRawThenIcmpApi, true, true, true, false,
         {{DatagramWait::kReceived, HostUnreachableFromRouter()}},
         ProbeResult::kNoAnswer, with({"wait", "wait", "close"})},
        {"receive failure ends the probe", EchoRoute::kRawThenIcmpApi, true, true, true, false,
         {nothing, {DatagramWait::kFailed, {}}, reply}, ProbeResult::kNoAnswer,
         with({"wait", "wait", "close"})},
        {"send failure", EchoRoute::kRawThenIcmpApi, true, true, false, false, {},
         ProbeResult::kNoAnswer, with({"close"})},
        {"host does not resolve", EchoRoute::kRawThenIcmpApi, true, false, true, true, {},
         ProbeResult::kNoAnswer, {"open raw", "resolve 10.77.0.2", "close"}},
        {"no raw socket: IcmpSendEcho answers", EchoRoute::kRawThenIcmpApi, false, true, true, true,
         {}, ProbeResult::kAnswered, {"open raw", "resolve 10.77.0.2", "icmp api"}},
        {"no raw socket: IcmpSendEcho silent", EchoRoute::kRawThenIcmpApi, false, true, true, false,
         {}, ProbeResult::kNoAnswer, {"open raw", "resolve 10.77.0.2", "icmp api"}},
        {"no raw socket, raw only", EchoRoute::kRawOnly, false, true, true, true, {},
         ProbeResult::kNoAnswer, {"open raw"}},
        {"IcmpSendEcho only", EchoRoute::kIcmpApiOnly, true, true, true, true, {},
         ProbeResult::kAnswered, {"resolve 10.77.0.2", "icmp api"}},
    };
    for (const Scenario& s : scenarios) {
        ProbeState state("10.77.0.2", 500);
        FakeNetwork net;
        net.state = &state;
        net.raw_opens = s.raw_opens;
        net.resolves = s.resolves;
        net.send_ok = s.send_ok;
        net.api_answers = s.api_answers;
        net.arrivals.assign(s.arrivals.begin(), s.arrivals.end());
        EXPECT_EQ(RunEchoProbe(state, net, s.route), s.result) << s.name;
        EXPECT_EQ(net.log, s.log) << s.name;
    }
}

TEST(EchoProbe, SendsTheRequestStampedWithTheTickCount) {
    ProbeState state("10.77.0.2", 500);
    FakeNetwork net;
    net.state = &state;
    net.arrivals = {{DatagramWait::kReceived, OurReply()}};
    ASSERT_EQ(RunEchoProbe(state, net), ProbeResult::kAnswered);
    EXPECT_EQ(net.sent, BuildEchoRequest(kTick));
}

TEST(EchoProbe, FallbackSendsTheSameFortyBytesAndWaitsTheStartersLimit) {
    ProbeState state("10.77.0.2", 500);
    FakeNetwork net;
    net.state = &state;
    net.raw_opens = false;
    ASSERT_EQ(RunEchoProbe(state, net), ProbeResult::kAnswered);
    const EchoRequest request = BuildEchoRequest(kTick);
    EXPECT_EQ(net.api_payload, Bytes(request.begin() + 8, request.end()));
    EXPECT_EQ(net.api_payload.size(), 40u);
    EXPECT_EQ(net.api_timeout, 500);
}

TEST(EchoProbe, SendsNothingOnceAbandoned) {
    for (EchoRoute route : {EchoRoute::kRawThenIcmpApi, EchoRoute::kIcmpApiOnly}) {
        ProbeState state("10.77.0.2", 500);
        FakeNetwork net;
        net.state = &state;
        net.abandon_on_resolve = true;  // the starter gives up while the name resolves
        EXPECT_EQ(RunEchoProbe(state, net, route), ProbeResult::kNoAnswer);
        for (const std::string& call : net.log) {
            EXPECT_NE(call, "send");
            EXPECT_NE(call, "icmp api");
        }
    }
}

}  // namespace
