#include "net/probe_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <chrono>
#include <cstring>
#include <iterator>
#include <set>
#include <thread>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Log = std::vector<std::string>;

const Ipv4Bytes kPeer = {10, 77, 0, 2};
constexpr std::uint32_t kTick = 0xA1B2C3D4u;
constexpr std::uint32_t kValue = 0x600DF00Du;  // the first attempt's; every later one adds 1
constexpr std::int64_t kT0 = 1000;             // the fake clock at the start; times below count from it

std::string Text(const Ipv4Bytes& a) {
    std::string text;
    for (const std::uint8_t octet : a) text += (text.empty() ? "" : ".") + std::to_string(octet);
    return text;
}

// One received datagram: IP header with `source`, then `icmp`.
Bytes Datagram(const Ipv4Bytes& source, const Bytes& icmp) {
    Bytes d(20 + icmp.size(), 0);
    d[0] = 0x45;
    d[9] = 1;
    std::memcpy(&d[12], source.data(), 4);
    std::copy(icmp.begin(), icmp.end(), d.begin() + 20);
    return d;
}
Bytes Request(std::uint32_t value) {
    const EchoRequest r = BuildEchoRequest(kTick, value);
    return Bytes(r.begin(), r.end());
}
Bytes Reply(std::uint32_t value, const Ipv4Bytes& from = kPeer) {
    Bytes icmp = Request(value);
    icmp[0] = 0;
    return Datagram(from, icmp);
}

// What the fake's Wait hands over at `at_ms`: a datagram, or the outcome of the
// connection or IP helper request open at `place` then ("10.77.0.2:445", "api 10.77.0.2").
struct Event {
    std::int64_t at_ms;
    std::string place;
    bool completed;  // a connection that completed, a request that was answered
    Bytes datagram;
};
Event Connected(std::int64_t at, int port, bool completed = true) {
    return {at, "10.77.0.2:" + std::to_string(port), completed, {}};
}
Event Received(std::int64_t at, Bytes datagram) { return {at, "", true, std::move(datagram)}; }
// A router's "host unreachable" about our request.
Bytes Unreachable() {
    Bytes icmp = {3, 1, 0, 0, 0, 0, 0, 0};
    const Bytes quote = Datagram({10, 77, 0, 1}, Request(kValue));
    icmp.insert(icmp.end(), quote.begin(), quote.end());
    return Datagram(kPeer, icmp);
}

// The network and the clock: every call goes into the log; the clock moves only in Wait,
// by its timeout or up to the next scripted event.
class FakeIo : public ProbeIo {
public:
    std::int64_t now = kT0;
    Log log;
    std::vector<std::string> echoes;    // "ms address" of every echo request
    std::vector<std::string> controls;  // "ms address" of every control connection
    int most_pending = 0;               // connections pending at once, at most
    std::vector<EchoRequest> sent;
    Bytes api_payload;
    bool raw = true, refuse_control = false;
    bool echo_fails = false;  // the raw send, or the IP helper's start
    bool raw_refused = false;  // the raw send is refused and the socket dropped
    int api_room = -1;         // IP helper requests the io holds at once; -1: any number
    int api_hold_ms = 0;       // a request let go of keeps its place this long after its start
    std::vector<std::int64_t> held_until;  // of the requests let go of
    struct Lookup {
        bool found;
        int takes_ms;
    };
    std::vector<Lookup> lookups;  // one per StartLookup; found at once when none is left
    int lookup_room = -1;         // lookups the io runs at once; -1: any number
    int pending_room = 1 << 20;   // connections pending at once
    std::function<void()> on_lookup;
    int reply_after_ms = -1;  // the peer answers every raw echo request after this
    bool threaded = false;    // Wait also lets 1 ms of real time pass
    std::vector<Event> script;
    std::map<IoId, std::string> open;  // what the engine has not let go of, nor the io closed
    std::map<IoId, std::int64_t> started;

    std::int64_t NowMs() override { return now; }
    std::uint32_t TickCount() override { return kTick; }
    std::uint32_t NewProbeValue() override { return next_value_++; }
    IoId StartLookup(const std::string& host) override {
        log.push_back("lookup " + host);
        if (on_lookup) on_lookup();
        const Lookup l = lookups.empty() ? Lookup{true, 0} : lookups.front();
        if (!lookups.empty()) lookups.erase(lookups.begin());
        script.push_back({now - kT0 + l.takes_ms, "lookup " + host, l.found, {}});
        return Open("lookup " + host);
    }
    bool HasLookupRoom() override { return lookup_room < 0 || Count("lookup ") < lookup_room; }
    int MostPendingConnections() override { return pending_room; }
    bool HasRawSocket() override { return raw; }
    bool SendRawEcho(const Ipv4Bytes& to, const EchoRequest& request) override {
        Note("echo " + Text(to), to);
        sent.push_back(request);
        std::uint32_t value;
        std::memcpy(&value, &request[8], 4);  // the tests run little-endian, as Windows does
        if (raw_refused) raw = false;
        if (reply_after_ms >= 0) script.push_back(Received(now - kT0 + reply_after_ms, Reply(value, to)));
        return !echo_fails && !raw_refused;
    }
    IoId StartApiEcho(const Ipv4Bytes& to, const std::vector<std::uint8_t>& payload, std::int32_t timeout_ms) override {
        Note("api " + Text(to) + ' ' + std::to_string(timeout_ms), to);
        api_payload = payload;
        if (echo_fails || ApiEchoRoom() == 0) return 0;
        started[last_id_ + 1] = now;
        return Open("api " + Text(to));
    }
    int ApiEchoRoom() override {
        const auto held = std::count_if(held_until.begin(), held_until.end(), [&](std::int64_t t) { return t > now; });
        return api_room < 0 ? 1000 : std::max(0, api_room - Count("api ") - static_cast<int>(held));
    }
    int MostApiEchoes() override { return api_room < 0 ? 1000 : api_room; }
    IoId Connect(const Ipv4Bytes& to, std::uint16_t port) override {
        const std::string place = Text(to) + ':' + std::to_string(port);
        log.push_back("connect " + place);
        if (port == kControlPort) controls.push_back(std::to_string(now - kT0) + ' ' + Text(to));
        if (refuse_control && port == kControlPort) return 0;
        const IoId id = Open(place);
        most_pending = std::max(most_pending, Count("") - Count("api ") - Count("lookup "));
        return id;
    }
    void Close(IoId id) override {
        if (open.count(id) == 0) ADD_FAILURE() << "closed twice or never opened: " << id;
        log.push_back("close " + open[id]);
        if (open[id].rfind("api ", 0) == 0) held_until.push_back(started[id] + api_hold_ms);
        open.erase(id);
    }
    void Wait(int timeout_ms, IoEvents& events) override {
        if (threaded) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (woken_.exchange(false)) {
            events.woken = true;  // the clock stands still and the log leaves it out
            return;
        }
        log.push_back("wait " + std::to_string(timeout_ms));
        std::int64_t next = now + timeout_ms;
        for (const Event& e : script) next = std::min(next, std::max(now, kT0 + e.at_ms));
        for (const std::int64_t t : held_until) {
            if (t > now) next = std::min(next, t);  // room made
        }
        now = next;
        const auto due = std::stable_partition(script.begin(), script.end(),
                                               [&](const Event& e) { return kT0 + e.at_ms <= now; });
        for (auto e = script.begin(); e != due; ++e) {
            const auto id = std::find_if(open.begin(), open.end(), [&](const auto& o) { return o.second == e->place; });
            if (!e->datagram.empty()) {
                events.datagrams.push_back(e->datagram);
            } else if (id != open.end() && e->place.rfind("lookup ", 0) == 0) {
                events.lookups.push_back({id->first, e->completed, kPeer});
                open.erase(id);
            } else if (id != open.end() && e->place.rfind("api ", 0) == 0) {
                events.api_echoes.push_back({id->first, e->completed});
            } else if (id != open.end()) {  // the io closes a connection once it reports it
                events.connections.push_back({id->first, e->completed ? ConnectionState::kCompleted
                                                                      : ConnectionState::kFailed});
                open.erase(id);
            }
        }
        script.erase(script.begin(), due);
    }
    void Wake() override { woken_ = true; }

private:
    void Note(const std::string& call, const Ipv4Bytes& to) {
        log.push_back(call);
        echoes.push_back(std::to_string(now - kT0) + ' ' + Text(to));
    }
    IoId Open(const std::string& place) { return open.emplace(++last_id_, place).first->first; }
    int Count(const std::string& kind) const {
        return static_cast<int>(std::count_if(open.begin(), open.end(), [&](const auto& o) { return o.second.rfind(kind, 0) == 0; }));
    }
    std::uint32_t next_value_ = kValue;
    IoId last_id_ = 0;
    std::atomic<bool> woken_{false};
};

struct Done {
    int calls = 0;
    ProbeOutcome outcome;
    std::int64_t at_ms = -1;  // on the fake clock, from kT0
};

ProbeOrder Order(FakeIo& io, Done& done, std::string host, std::int64_t end_ms = 500, int attempts = 1,
                 std::int32_t attempt_ms = 500, std::int64_t first_ms = 0) {
    ProbeOrder order;
    order.host = std::move(host);
    order.first_ms = kT0 + first_ms;
    order.end_ms = kT0 + end_ms;
    order.attempt_ms = attempt_ms;
    order.attempts = attempts;
    order.done = [&io, &done](const ProbeOutcome& outcome) {
        ++done.calls;
        done.outcome = outcome;
        done.at_ms = io.now - kT0;
    };
    return order;
}

// Turns until the clock passes `until_ms`, or until the engine has stopped; an engine
// that turns without ever moving the clock fails here rather than hanging the suite.
void Drive(ProbeEngine& engine, FakeIo& io, std::int64_t until_ms = 5000) {
    for (int turns = 0; io.now < kT0 + until_ms && engine.Turn(1000); ++turns) {
        if (turns == 100000) {
            ADD_FAILURE() << "the engine turns without moving the clock, at " << io.now - kT0;
            return;
        }
    }
}

// The engine for tests of the steps themselves: an attempt's connections open with its echo.
constexpr std::int32_t kWithEcho = 0;

// `first`, then `verb` for the control and the service ports in their order.
Log Connections(const std::string& first, const std::string& verb) {
    Log log = {first, verb + " 10.77.0.2:1"};
    for (const std::uint16_t port : kServicePorts) log.push_back(verb + " 10.77.0.2:" + std::to_string(port));
    if (first.empty()) log.erase(log.begin());
    return log;
}
Log Join(std::initializer_list<Log> parts) {
    Log all;
    for (const Log& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

// The echo leaves first, then the control, then the services in their order; a text
// reads as an address or, for the watcher only, is looked up as a name, once per order:
// a name that finds nothing ends the order with nothing sent.
TEST(ProbeEngine, TakesTheStepsOfAnAttemptInOrder) {
    const Log raw = Join({Connections("echo 10.77.0.2", "connect"), {"wait 500"}, Connections("", "close")});
    const HostReading kOnly = HostReading::kAddressOnly, kName = HostReading::kAddressOrName;
    const Log api = Join({Connections("api 10.77.0.2 500", "connect"), {"wait 500"},
                          Connections("close api 10.77.0.2", "close")});
    Log api_cut = api;  // the window ends at 300
    api_cut[0] = "api 10.77.0.2 300";
    api_cut[7] = "wait 300";
    const struct {
        const char* host;
        HostReading reading;
        bool raw, refuse_control;
        std::vector<FakeIo::Lookup> lookups;
        int attempts;
        std::int64_t end_ms;
        Log log;
    } cases[] = {
        {"10.77.0.2", kOnly, true, false, {}, 1, 500, raw},
        {"010.077.000.002", kOnly, true, false, {}, 1, 500, raw},
        {"10.77.0.2", kName, true, false, {{false, 0}}, 1, 500, raw},
        {"10.77.0.2", kOnly, false, false, {}, 1, 500, api},
        {"10.77.0.2", kOnly, false, false, {}, 1, 300, api_cut},
        {"10.77.0.2", kOnly, true, true, {}, 1, 500, {"echo 10.77.0.2", "connect 10.77.0.2:1", "wait 500"}},
        {"pc-room-4", kOnly, true, false, {}, 1, 500, {}},
        {"10.77.0.2a", kOnly, true, false, {}, 1, 500, {}},
        {"pc-room-4", kName, true, false, {{true, 0}}, 2, 1000, Join({{"lookup pc-room-4", "wait 1000"}, raw, raw})},
        {"pc-room-4", kName, true, false, {{false, 0}, {true, 0}}, 2, 1000, {"lookup pc-room-4"}},
        {"", kName, true, false, {{false, 0}}, 1, 500, {"lookup ", "wait 500"}},
    };
    for (const auto& c : cases) {
        FakeIo io;
        io.raw = c.raw;
        io.refuse_control = c.refuse_control;
        io.lookups = c.lookups;
        ProbeEngine engine(io, kMostProbesAtOnce, kWithEcho);
        Done done;
        ProbeOrder order = Order(io, done, c.host, c.end_ms, c.attempts);
        order.reading = c.reading;
        engine.Submit(std::move(order));
        for (int turn = 0; turn < 10 && done.calls == 0; ++turn) engine.Turn(1000);
        if (!io.log.empty() && io.log.back() == "wait 1000") io.log.pop_back();  // of the turn that ended it
        EXPECT_EQ(io.log, c.log) << c.host;
        EXPECT_EQ(done.calls, 1) << c.host;
        EXPECT_EQ(done.outcome.verdict, ProbeVerdict::kNoAnswer) << c.host;
        const bool sent = !io.echoes.empty();
        EXPECT_EQ(done.outcome.address, sent ? kPeer : Ipv4Bytes{}) << c.host;
        const Bytes request = Request(kValue);
        if (sent) {  // the first attempt's request, or its 40 bytes after the ICMP header
            EXPECT_EQ(c.raw ? Bytes(io.sent[0].begin(), io.sent[0].end()) : io.api_payload,
                      Bytes(request.begin() + (c.raw ? 0 : 8), request.end())) << c.host;
        }
        EXPECT_TRUE(io.open.empty()) << c.host;
    }
}

// A sweep's order sends its echo request and opens no connection, raw or through the IP helper.
TEST(ProbeEngine, AnEchoOnlyOrderOpensNoConnection) {
    const struct {
        bool raw;
        Log log;
    } cases[] = {
        {true, {"echo 10.77.0.2", "wait 500"}},
        {false, {"api 10.77.0.2 500", "wait 500", "close api 10.77.0.2"}},
    };
    for (const auto& c : cases) {
        FakeIo io;
        io.raw = c.raw;
        ProbeEngine engine(io);
        Done done;
        ProbeOrder order = Order(io, done, "10.77.0.2");
        order.echo_only = true;
        engine.Submit(std::move(order));
        for (int turn = 0; turn < 10 && done.calls == 0; ++turn) engine.Turn(1000);
        if (!io.log.empty() && io.log.back() == "wait 1000") io.log.pop_back();  // of the turn that ended it
        EXPECT_EQ(io.log, c.log) << c.raw;
        EXPECT_EQ(done.calls, 1);
        EXPECT_TRUE(io.open.empty());
    }
}

// Only our own echo reply, an IP helper echo with our data, or a service connection
// while the control has not completed answers an attempt.
TEST(ProbeEngine, CountsOnlyWhatShowsTheTargetItself) {
    const Event api_silent = {50, "api 10.77.0.2", false, {}};
    enum Route { kRaw, kApi, kRawFails, kApiFails };
    const struct {
        const char* name;
        Route route;
        std::vector<Event> events;
        AnswerKind how;  // kNone: no answer
        std::uint16_t port;
        std::int64_t answered_ms;
    } cases[] = {
        {"our reply", kRaw, {Received(100, Reply(kValue))}, AnswerKind::kEcho, 0, 100},
        {"another probe's reply", kRaw, {Received(100, Reply(kValue + 1))}, AnswerKind::kNone, 0, 0},
        {"another address's reply", kRaw, {Received(100, Reply(kValue, {10, 77, 0, 3}))}, AnswerKind::kNone, 0, 0},
        {"our request on loopback", kRaw, {Received(100, Datagram(kPeer, Request(kValue)))}, AnswerKind::kNone, 0, 0},
        {"unreachable, then our reply", kRaw, {Received(50, Unreachable()), Received(200, Reply(kValue))},
         AnswerKind::kEcho, 0, 200},
        {"IP helper answered", kApi, {{50, "api 10.77.0.2", true, {}}}, AnswerKind::kEcho, 0, 50},
        {"IP helper silent", kApi, {api_silent}, AnswerKind::kNone, 0, 0},
        {"IP helper silent, a service completes", kApi, {api_silent, Connected(80, 3389)}, AnswerKind::kTcp, 3389, 80},
        {"IP helper pending, a service completes", kApi, {Connected(30, 139)}, AnswerKind::kTcp, 139, 30},
        {"the raw send failed, a service completes", kRawFails, {Connected(30, 445)}, AnswerKind::kTcp, 445, 30},
        {"the IP helper refused, a service completes", kApiFails, {Connected(30, 22)}, AnswerKind::kTcp, 22, 30},
        {"a service alone", kRaw, {Connected(30, 445)}, AnswerKind::kTcp, 445, 30},
        {"a service refused", kRaw, {Connected(30, 445, false)}, AnswerKind::kNone, 0, 0},
        {"control fails, a service completes", kRaw, {Connected(10, 1, false), Connected(20, 22)}, AnswerKind::kTcp,
         22, 20},
        {"service, then control", kRaw, {Connected(10, 139), Connected(20, 1)}, AnswerKind::kTcp, 139, 10},
        {"control, then service", kRaw, {Connected(10, 1), Connected(20, 445)}, AnswerKind::kNone, 0, 0},
        {"control and service in one wait", kRaw, {Connected(10, 445), Connected(10, 1)}, AnswerKind::kNone, 0, 0},
        {"control and service, then our reply", kRaw,
         {Connected(10, 1), Connected(20, 5900), Received(30, Reply(kValue))}, AnswerKind::kEcho, 0, 30},
    };
    for (const auto& c : cases) {
        FakeIo io;
        io.raw = c.route == kRaw || c.route == kRawFails;
        io.echo_fails = c.route == kRawFails || c.route == kApiFails;
        io.script = c.events;
        ProbeEngine engine(io, kMostProbesAtOnce, kWithEcho);
        Done done;
        engine.Submit(Order(io, done, "10.77.0.2"));
        Drive(engine, io, 1000);
        EXPECT_EQ(done.calls, 1) << c.name;
        const bool answered = c.how != AnswerKind::kNone;
        EXPECT_EQ(done.outcome.verdict, answered ? ProbeVerdict::kAnswered : ProbeVerdict::kNoAnswer) << c.name;
        EXPECT_EQ(done.outcome.how, c.how) << c.name;
        EXPECT_EQ(done.outcome.port, c.port) << c.name;
        EXPECT_EQ(done.outcome.answered_ms, answered ? kT0 + c.answered_ms : 0) << c.name;
        EXPECT_EQ(done.at_ms, answered ? c.answered_ms : 500) << c.name;
        EXPECT_TRUE(io.open.empty()) << c.name;
    }
}

// Who starts when: every due attempt sends its echo at once through the raw socket;
// connections go to at most `places` attempts at once, and within the pending
// connections the io allows, those that had none longest first; an attempt without
// answer starts again at once, and the window's end cuts everything.
TEST(ProbeEngine, SchedulesAttemptsOnTheClock) {
    struct Shape {
        std::int64_t first, end;
        std::int32_t attempt_ms;
        int attempts;
    };
    const Shape kShort = {0, 1000, 100, 1}, kTwice = {0, 1000, 100, 2};
    constexpr int kAny = 1 << 20;
    const struct {
        const char* name;
        int places, pending;
        std::vector<Shape> orders;         // to 10.0.0.1, 10.0.0.2, ...
        std::vector<std::string> echoes;   // "ms address"
        std::vector<std::string> controls;  // "ms address": the attempt's connections opened
        std::vector<std::int64_t> ended_at;
    } cases[] = {
        {"echoes need no place", 3, kAny, {kShort, kShort, kShort, kShort, kShort},
         {"0 10.0.0.1", "0 10.0.0.2", "0 10.0.0.3", "0 10.0.0.4", "0 10.0.0.5"},
         {"0 10.0.0.1", "0 10.0.0.2", "0 10.0.0.3"}, {100, 100, 100, 100, 100}},
        {"connections go round", 2, kAny, {kTwice, kTwice, kTwice},
         {"0 10.0.0.1", "0 10.0.0.2", "0 10.0.0.3", "100 10.0.0.1", "100 10.0.0.2", "100 10.0.0.3"},
         {"0 10.0.0.1", "0 10.0.0.2", "100 10.0.0.3", "100 10.0.0.1"}, {200, 200, 200}},
        {"within ten pending connections, one attempt's at a time", 32, 10, {kTwice, kTwice, kTwice},
         {"0 10.0.0.1", "0 10.0.0.2", "0 10.0.0.3", "100 10.0.0.1", "100 10.0.0.2", "100 10.0.0.3"},
         {"0 10.0.0.1", "100 10.0.0.2"}, {200, 200, 200}},
        {"a later first_ms", 1, kAny, {{250, 1000, 100, 1}, kShort}, {"0 10.0.0.2", "250 10.0.0.1"},
         {"0 10.0.0.2", "250 10.0.0.1"}, {350, 100}},
        {"the window cuts the last attempt", 4, kAny, {{0, 500, 200, 0}},
         {"0 10.0.0.1", "200 10.0.0.1", "400 10.0.0.1"}, {"0 10.0.0.1", "200 10.0.0.1", "400 10.0.0.1"}, {500}},
        {"the attempts run out first", 4, kAny, {{0, 1000, 100, 3}}, {"0 10.0.0.1", "100 10.0.0.1", "200 10.0.0.1"},
         {"0 10.0.0.1", "100 10.0.0.1", "200 10.0.0.1"}, {300}},
        {"an empty window sends nothing", 4, kAny, {{500, 500, 100, 1}, {0, 0, 100, 1}}, {}, {}, {0, 0}},
    };
    for (const auto& c : cases) {
        FakeIo io;
        io.pending_room = c.pending;
        ProbeEngine engine(io, c.places, kWithEcho);
        std::vector<Done> done(c.orders.size());
        for (std::size_t i = 0; i < c.orders.size(); ++i) {
            const Shape& s = c.orders[i];
            engine.Submit(Order(io, done[i], "10.0.0." + std::to_string(i + 1), s.end, s.attempts, s.attempt_ms,
                                s.first));
        }
        Drive(engine, io);
        EXPECT_EQ(io.echoes, c.echoes) << c.name;
        EXPECT_EQ(io.controls, c.controls) << c.name;
        EXPECT_LE(io.most_pending, std::max(c.pending, 6)) << c.name;
        for (std::size_t i = 0; i < done.size(); ++i) {
            EXPECT_EQ(done[i].calls, 1) << c.name << ' ' << i;
            EXPECT_EQ(done[i].outcome.verdict, ProbeVerdict::kNoAnswer) << c.name << ' ' << i;
            EXPECT_EQ(done[i].at_ms, c.ended_at[i]) << c.name << ' ' << i;
        }
    }
}

// Without a raw socket an order starts only when the IP helper has room for its echo;
// it keeps its place in line meanwhile, and the engine sleeps until a request ends
// rather than turning without a pause. A raw socket needs no such room.
TEST(ProbeEngine, AnOrderWaitsForRoomForItsIpHelperEcho) {
    const auto api = [](std::int64_t at, int host, bool answered) {
        return Event{at, "api 10.0.0." + std::to_string(host), answered, {}};
    };
    const struct {
        const char* name;
        bool raw;
        int room;
        std::vector<std::int64_t> ends;  // of the orders to 10.0.0.1, 10.0.0.2, ...; each one attempt of 500 ms
        std::vector<Event> events;
        std::vector<std::string> echoes;
        std::vector<std::int64_t> ended_at;  // answered when the IP helper answers it, else no answer
    } cases[] = {
        {"a request answered makes room", false, 2, {1000, 1000, 1000},
         {api(100, 1, true), api(150, 2, true), api(200, 3, true)},
         {"0 10.0.0.1", "0 10.0.0.2", "100 10.0.0.3"}, {100, 150, 200}},
        {"a request that ends unanswered makes room", false, 2, {1000, 1000, 1000}, {api(100, 2, false)},
         {"0 10.0.0.1", "0 10.0.0.2", "100 10.0.0.3"}, {500, 500, 600}},
        {"an attempt's end makes room", false, 2, {1000, 1000, 1000}, {},
         {"0 10.0.0.1", "0 10.0.0.2", "500 10.0.0.3"}, {500, 500, 1000}},
        {"in line: the first that waited goes first", false, 1, {2000, 2000, 2000}, {api(100, 1, true)},
         {"0 10.0.0.1", "100 10.0.0.2", "600 10.0.0.3"}, {100, 600, 1100}},
        {"the window ends while it waits", false, 2, {1000, 1000, 300}, {}, {"0 10.0.0.1", "0 10.0.0.2"},
         {500, 500, 300}},
        {"a raw socket needs no room", true, 0, {1000, 1000, 1000}, {},
         {"0 10.0.0.1", "0 10.0.0.2", "0 10.0.0.3"}, {500, 500, 500}},
    };
    for (const auto& c : cases) {
        FakeIo io;
        io.raw = c.raw;
        io.api_room = c.room;
        io.script = c.events;
        ProbeEngine engine(io);
        std::vector<Done> done(c.ends.size());
        for (std::size_t i = 0; i < c.ends.size(); ++i) {
            ProbeOrder order = Order(io, done[i], "10.0.0." + std::to_string(i + 1), c.ends[i]);
            order.echo_only = true;
            engine.Submit(std::move(order));
        }
        // Bounded: an engine that turns without waiting never moves the fake clock.
        int turns = 0;
        while (turns < 100 && io.now < kT0 + 3000 && engine.Turn(1000)) ++turns;
        EXPECT_EQ(io.echoes, c.echoes) << c.name;
        for (std::size_t i = 0; i < done.size(); ++i) {
            const bool answered = std::any_of(c.events.begin(), c.events.end(), [&](const Event& e) {
                return e.completed && e.place == "api 10.0.0." + std::to_string(i + 1);
            });
            EXPECT_EQ(done[i].calls, 1) << c.name << ' ' << i;
            // Never asked: not known, rather than silent.
            const std::string address = " 10.0.0." + std::to_string(i + 1);
            const bool asked = std::any_of(c.echoes.begin(), c.echoes.end(), [&](const std::string& e) {
                return e.size() > address.size() && e.compare(e.size() - address.size(), address.size(), address) == 0;
            });
            const ProbeVerdict silent = asked ? ProbeVerdict::kNoAnswer : ProbeVerdict::kUnserved;
            EXPECT_EQ(done[i].outcome.verdict, answered ? ProbeVerdict::kAnswered : silent) << c.name << ' ' << i;
            EXPECT_EQ(done[i].at_ms, c.ended_at[i]) << c.name << ' ' << i;
        }
        // A wait for each event, each attempt's end and the clock's last run to 3000.
        EXPECT_EQ(std::count(io.log.begin(), io.log.end(), "wait 0"), 0) << c.name;
        EXPECT_LE(turns, 12) << c.name;
        EXPECT_TRUE(io.open.empty()) << c.name;
    }
}

// A raw socket whose sends Windows refuses is dropped by the io: that attempt's echo
// goes through the IP helper at once, and so does every later one. A send that failed
// for its destination keeps the raw socket.
TEST(ProbeEngine, ARefusedRawSendTurnsToTheIpHelper) {
    const struct {
        const char* name;
        bool refused;
        std::vector<Event> events;
        Log echoes;
        ProbeVerdict verdict;
    } cases[] = {
        {"refused", true, {},
         {"echo 10.77.0.2", "api 10.77.0.2 500", "api 10.77.0.2 500"}, ProbeVerdict::kNoAnswer},
        {"refused, the IP helper answers", true, {{50, "api 10.77.0.2", true, {}}},
         {"echo 10.77.0.2", "api 10.77.0.2 500"}, ProbeVerdict::kAnswered},
        {"failed for its destination", false, {}, {"echo 10.77.0.2", "echo 10.77.0.2"}, ProbeVerdict::kNoAnswer},
    };
    for (const auto& c : cases) {
        FakeIo io;
        io.raw_refused = c.refused;
        io.echo_fails = !c.refused;
        io.script = c.events;
        ProbeEngine engine(io);
        Done done;
        ProbeOrder order = Order(io, done, "10.77.0.2", 1000, 2);
        order.echo_only = true;
        engine.Submit(std::move(order));
        for (int turn = 0; turn < 10 && done.calls == 0; ++turn) engine.Turn(1000);
        Log echoes;
        std::copy_if(io.log.begin(), io.log.end(), std::back_inserter(echoes), [](const std::string& line) {
            return line.rfind("echo ", 0) == 0 || line.rfind("api ", 0) == 0;
        });
        EXPECT_EQ(echoes, c.echoes) << c.name;
        EXPECT_EQ(done.outcome.verdict, c.verdict) << c.name;
        if (c.verdict == ProbeVerdict::kAnswered) {  // the refused request itself, through the IP helper
            const Bytes request = Request(kValue);
            EXPECT_EQ(io.api_payload, Bytes(request.begin() + kIcmpHeaderSize, request.end())) << c.name;
        }
        EXPECT_TRUE(io.open.empty()) << c.name;
    }
}

// A list's watches: 240 silent PCs watched for 30 s in attempts of 2 s. Through the raw
// socket each is asked at least every 2 s; through the IP helper (61 requests at once,
// 4 kept for interactive orders) as often as its room allows, also where the system
// holds each request 3 s to resolve an absent host's address. Connections go round too.
TEST(ProbeEngine, AsksEverySilentOrderOfALongListInTurn) {
    const struct {
        const char* name;
        bool raw;
        int hold_ms;
        std::int64_t most_between_ms;
        bool all_connected;  // else an attempt every 15 s leaves a few without their turn
    } cases[] = {
        {"raw socket", true, 0, 2000, true},
        {"IP helper", false, 0, 10000, true},
        {"IP helper, 3 s to resolve", false, 3000, 15000, false},
    };
    for (const auto& c : cases) {
        FakeIo io;
        io.raw = c.raw;
        if (!c.raw) io.api_room = 61;
        io.api_hold_ms = c.hold_ms;
        ProbeEngine engine(io);
        std::vector<Done> done(240);
        for (int i = 0; i < 240; ++i) {
            engine.Submit(Order(io, done[i], "10.0." + std::to_string(i) + ".1", 30000, 0, 2000));
        }
        Drive(engine, io, 31000);
        std::map<std::string, std::vector<std::int64_t>> asked, connected;
        const auto by_address = [](const std::vector<std::string>& lines, auto& into) {
            for (const std::string& line : lines) {
                const std::size_t space = line.find(' ');
                into[line.substr(space + 1)].push_back(std::stoll(line.substr(0, space)));
            }
        };
        by_address(io.echoes, asked);
        by_address(io.controls, connected);
        ASSERT_EQ(asked.size(), 240u) << c.name;
        std::int64_t most_between = 0;
        for (auto& [address, times] : asked) {
            times.insert(times.begin(), 0);
            times.push_back(30000);
            for (std::size_t i = 1; i < times.size(); ++i) most_between = std::max(most_between, times[i] - times[i - 1]);
        }
        EXPECT_LE(most_between, c.most_between_ms) << c.name;
        if (c.all_connected) {
            EXPECT_EQ(connected.size(), 240u) << c.name;
        }
        EXPECT_LE(io.most_pending, (kMostProbesAtOnce - kInteractiveReserve) * 6) << c.name;
        for (const Done& d : done) EXPECT_EQ(d.at_ms, 30000) << c.name;
        std::printf("%s: every silent PC asked at least every %lld ms\n", c.name, static_cast<long long>(most_between));
    }
}

// Someone waits for an interactive order: behind 300 background orders holding every
// place they may, it is still asked at once and answered within its 500 ms, whether
// its answer is the raw echo, the IP helper's, or a service connection (after
// kEvidenceAfterMs without an echo reply).
TEST(ProbeEngine, AnInteractiveOrderIsServedAheadOfBackgroundOnes) {
    enum Route { kRaw, kApi };
    const struct {
        const char* name;
        Route route;
        Event answer;  // from the submission of the interactive order
        AnswerKind how;
    } cases[] = {
        {"raw echo", kRaw, Received(3, Reply(kValue + 300)), AnswerKind::kEcho},
        {"IP helper echo", kApi, {3, "api 10.77.0.2", true, {}}, AnswerKind::kEcho},
        {"a service, the echo dropped", kRaw, Connected(kEvidenceAfterMs + 10, 445), AnswerKind::kTcp},
    };
    for (const auto& c : cases) {
        FakeIo io;
        io.raw = c.route == kRaw;
        if (c.route == kApi) io.api_room = 61;
        ProbeEngine engine(io);
        std::vector<Done> background(300);
        for (int i = 0; i < 300; ++i) {
            engine.Submit(Order(io, background[i], "10.1." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1),
                                20000, 0, 2000));
        }
        Drive(engine, io, 1000);  // every place the background orders may take is theirs
        const std::int64_t submitted = io.now - kT0;
        Done check;
        ProbeOrder order = Order(io, check, "10.77.0.2", submitted + 500, 1, 500, submitted);
        order.order_class = OrderClass::kInteractive;
        engine.Submit(std::move(order));
        Event answer = c.answer;
        answer.at_ms += submitted;
        io.script.push_back(answer);
        Drive(engine, io, submitted + 600);
        EXPECT_EQ(check.calls, 1) << c.name;
        EXPECT_EQ(check.outcome.verdict, ProbeVerdict::kAnswered) << c.name;
        EXPECT_EQ(check.outcome.how, c.how) << c.name;
        EXPECT_EQ(check.at_ms, answer.at_ms) << c.name;
    }
}

// Sweeps of two and three LANs beside a list's watches: each address of each sweep is
// asked once, none left unasked, on either echo path.
TEST(ProbeEngine, EverySweepAsksEachOfItsAddressesOnce) {
    for (const bool raw : {true, false}) {
        for (const int sweeps : {2, 3}) {
            FakeIo io;
            io.raw = raw;
            if (!raw) io.api_room = 61;
            ProbeEngine engine(io);
            std::vector<Done> watches(100), swept(254 * sweeps);
            for (int i = 0; i < 100; ++i) {
                engine.Submit(Order(io, watches[i], "10.9.0." + std::to_string(i + 1), 30000, 0, 2000));
            }
            for (int lan = 0; lan < sweeps; ++lan) {
                for (int host = 1; host <= 254; ++host) {
                    // Paced 8 every 100 ms from 1 s on, each free to wait for its place to the end.
                    ProbeOrder order = Order(io, swept[lan * 254 + host - 1],
                                             "10.2." + std::to_string(lan) + "." + std::to_string(host), 30000, 1, 400,
                                             1000 + (host - 1) / 8 * 100);
                    order.echo_only = true;
                    engine.Submit(std::move(order));
                }
            }
            Drive(engine, io, 31000);
            std::map<std::string, int> asked;
            for (const std::string& line : io.echoes) ++asked[line.substr(line.find(' ') + 1)];
            int once = 0;
            for (const auto& [address, count] : asked) {
                if (address.rfind("10.2.", 0) == 0 && count == 1) ++once;
            }
            EXPECT_EQ(once, 254 * sweeps) << raw << ' ' << sweeps;
            for (const Done& d : swept) EXPECT_EQ(d.outcome.verdict, ProbeVerdict::kNoAnswer) << raw << ' ' << sweeps;
        }
    }
}

// A name is looked up off the engine's thread: one that takes 10 s to fail holds up
// nobody, and is not looked up again; a lookup still running when the window ends is
// let go, not known; Stop lets go of running lookups and starts no other.
TEST(ProbeEngine, NamesAreLookedUpBesideTheOtherOrders) {
    const struct {
        const char* name;
        std::vector<FakeIo::Lookup> lookups;
        std::int64_t stop_at;  // 0: no Stop
        std::vector<ProbeVerdict> verdicts;  // the two name orders'
        int lookups_made;
    } cases[] = {
        {"fails after 10 s", {{false, 10000}, {true, 0}}, 0, {ProbeVerdict::kNoAnswer, ProbeVerdict::kNoAnswer}, 2},
        {"still running at the window's end", {{true, 40000}, {true, 40000}}, 0,
         {ProbeVerdict::kUnserved, ProbeVerdict::kUnserved}, 1},
        {"stopped while one runs", {{true, 10000}}, 700, {ProbeVerdict::kCancelled, ProbeVerdict::kCancelled}, 1},
    };
    for (const auto& c : cases) {
        FakeIo io;
        io.lookups = c.lookups;
        io.lookup_room = 1;
        io.reply_after_ms = -1;
        ProbeEngine engine(io);
        Done names[2], address, check;
        for (Done& d : names) {
            ProbeOrder order = Order(io, d, "pc-room-4", 30000, 0, 2000);
            order.reading = HostReading::kAddressOrName;
            engine.Submit(std::move(order));
        }
        engine.Submit(Order(io, address, "10.0.0.1", 30000, 0, 2000));
        ProbeOrder order = Order(io, check, "10.0.0.2", 600, 1, 500, 100);
        order.order_class = OrderClass::kInteractive;
        engine.Submit(std::move(order));
        if (c.stop_at > 0) {
            Drive(engine, io, c.stop_at);
            engine.Stop();
        }
        Drive(engine, io, 31000);
        for (int i = 0; i < 2; ++i) EXPECT_EQ(names[i].outcome.verdict, c.verdicts[i]) << c.name << ' ' << i;
        EXPECT_EQ(std::count_if(io.log.begin(), io.log.end(), [](const std::string& l) { return l.rfind("lookup ", 0) == 0; }),
                  c.lookups_made) << c.name;
        // The others as if no name were looked up.
        EXPECT_EQ(std::count(io.echoes.begin(), io.echoes.end(), "0 10.0.0.1"), 1) << c.name;
        EXPECT_EQ(std::count(io.echoes.begin(), io.echoes.end(), "100 10.0.0.2"), 1) << c.name;
        EXPECT_EQ(check.at_ms, 600) << c.name;
        EXPECT_TRUE(io.open.empty()) << c.name;
    }
}

// An echo reply that comes before kEvidenceAfterMs answers the attempt with no
// connection opened; later, the connections are open and the reply still answers.
TEST(ProbeEngine, AnEchoReplyBeforeTheConnectionsSparesThem) {
    const struct {
        int reply_after_ms;
        bool connected;
    } cases[] = {{2, false}, {kEvidenceAfterMs + 5, true}};
    for (const auto& c : cases) {
        FakeIo io;
        io.reply_after_ms = c.reply_after_ms;
        ProbeEngine engine(io);
        Done done;
        engine.Submit(Order(io, done, "10.77.0.2"));
        Drive(engine, io, 1000);
        EXPECT_EQ(done.outcome.verdict, ProbeVerdict::kAnswered);
        EXPECT_EQ(done.at_ms, c.reply_after_ms);
        EXPECT_EQ(!io.controls.empty(), c.connected) << c.reply_after_ms;
        EXPECT_TRUE(io.open.empty());
    }
}

// A cancelled or stopped order ends once, kCancelled, lets go of everything it held and
// sends nothing more, whether it waited for its time, ran, or was looking up its name.
TEST(ProbeEngine, CancelAndStopEndOrdersAtOnce) {
    enum When { kWaiting, kRunning, kLookingUp };
    const struct {
        const char* name;
        When when;
        bool stop;
    } cases[] = {
        {"cancel a waiting order", kWaiting, false}, {"cancel a running order", kRunning, false},
        {"cancel while looking up", kLookingUp, false}, {"stop with one waiting", kWaiting, true},
        {"stop with one running", kRunning, true}, {"stop while looking up", kLookingUp, true},
    };
    for (const auto& c : cases) {
        FakeIo io;
        ProbeEngine engine(io, 1);
        Done target, other;
        ProbeTicket ticket = 0;
        auto end = [&] { c.stop ? engine.Stop() : engine.Cancel(ticket); };
        ProbeOrder order = Order(io, target, c.when == kLookingUp ? "pc-room-4" : "10.77.0.2", 3000, 3, 500,
                                 c.when == kWaiting ? 1000 : 0);
        order.reading = HostReading::kAddressOrName;
        if (c.when == kLookingUp) io.on_lookup = end;
        ticket = engine.Submit(std::move(order));
        engine.Submit(Order(io, other, "10.0.0.1", 3000, 3));
        engine.Turn(100);
        const std::size_t mark = c.when == kLookingUp ? 0 : io.log.size();
        if (c.when != kLookingUp) end();
        Drive(engine, io);
        EXPECT_EQ(target.calls, 1) << c.name;
        EXPECT_EQ(target.outcome.verdict, ProbeVerdict::kCancelled) << c.name;
        for (std::size_t i = mark; i < io.log.size(); ++i) {
            const std::string& line = io.log[i];
            EXPECT_TRUE(line.find("10.77.0.2") == std::string::npos || line.rfind("close ", 0) == 0)
                << c.name << ": " << line;
        }
        EXPECT_TRUE(io.open.empty()) << c.name;
        EXPECT_EQ(other.calls, 1) << c.name;
        EXPECT_EQ(other.outcome.verdict, c.stop ? ProbeVerdict::kCancelled : ProbeVerdict::kNoAnswer) << c.name;
        EXPECT_EQ(engine.IsStopped(), c.stop) << c.name;
        if (c.stop) {
            Done late;
            EXPECT_EQ(engine.Submit(Order(io, late, "10.0.0.3")), 0u) << c.name;
            EXPECT_FALSE(engine.Turn(100)) << c.name;
            EXPECT_EQ(late.calls, 0) << c.name;
        }
    }
}

TEST(ProbeEngine, DoneMaySubmitAndCancelFromInside) {
    FakeIo io;
    ProbeEngine engine(io);
    Done first, second;
    ProbeTicket first_ticket = 0;
    ProbeOrder order = Order(io, first, "10.0.0.1");
    order.done = [&, inner = order.done](const ProbeOutcome& outcome) {
        inner(outcome);
        engine.Cancel(first_ticket);  // ended already: no second call
        engine.Submit(Order(io, second, "10.0.0.2", 1000));
    };
    first_ticket = engine.Submit(std::move(order));
    Drive(engine, io);
    EXPECT_EQ(io.echoes, (std::vector<std::string>{"0 10.0.0.1", "500 10.0.0.2"}));
    EXPECT_EQ(first.calls, 1);
    EXPECT_EQ(second.calls, 1);
    EXPECT_EQ(second.at_ms, 1000);
}

TEST(ProbeEngine, RunsOnItsThreadUntilStopped) {
    FakeIo io;
    io.threaded = true;
    io.reply_after_ms = 5;
    ProbeEngine engine(io);
    std::thread runner([&] { engine.Run(); });
    Done unused;
    const ProbeOutcome answered = ProbeAndWait(engine, Order(io, unused, "10.77.0.2", 1 << 30));
    EXPECT_EQ(answered.verdict, ProbeVerdict::kAnswered);
    EXPECT_EQ(answered.how, AnswerKind::kEcho);
    Done waiting;  // read after the join
    const std::int64_t never = std::int64_t{1} << 40;
    EXPECT_NE(engine.Submit(Order(io, waiting, "10.0.0.9", never + 1, 1, 500, never)), 0u);
    engine.Stop();
    runner.join();
    EXPECT_EQ(waiting.calls, 1);
    EXPECT_EQ(waiting.outcome.verdict, ProbeVerdict::kCancelled);
    EXPECT_EQ(ProbeAndWait(engine, Order(io, unused, "10.77.0.2")).verdict, ProbeVerdict::kCancelled);
    EXPECT_TRUE(io.open.empty());
}

}  // namespace
