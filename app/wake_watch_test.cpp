#include "app/wake_watch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kSentMs = 1000000;  // the send, on the fake clock
const MacBytes kWoken{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
const MacBytes kOther{0x02, 0x00, 0x00, 0x00, 0x00, 0x09};
constexpr char kWokenText[] = "00-1a-2b-3c-4d-5e";

constexpr std::int64_t kNever = 1000000000;

// A machine of the test LAN: from `up_ms` (from the send; negative: before it) until
// `down_ms` it answers every probe, and the exchange leaves its row in the ARP table
// unless `leaves_row` is false. One that `answers` nothing (a firewall that lets only
// ARP through) still leaves its row when it is asked.
struct Machine {
    Ipv4Bytes address;
    MacBytes mac;
    std::int64_t up_ms;
    bool leaves_row = true;
    std::int64_t down_ms = kNever;
    bool answers = true;
};

// The engine, the LAN and the clock: an order ends with an answer as soon as its host
// is up within its window, else at its end; orders end in time order, and the clock
// jumps to each end.
class FakeNetwork final : public WakeWatchNetwork {
public:
    std::int64_t now = 0;
    std::vector<Machine> machines;
    std::vector<LocalIpv4Address> locals{{{10, 77, 0, 1}, {255, 255, 255, 0}}};
    std::vector<ArpRow> rows;
    std::vector<std::string> remembered;
    std::vector<ProbeOrder> sweep_orders;  // every echo-only order, as submitted
    std::map<std::string, int> probes;     // orders per host
    bool stopped = false;
    std::int64_t busy_ms = 0;  // how long an echo-only order waits for its place in the engine
    bool unserved = false;     // a watch's order that nothing answers ends never asked
    bool remember_works = true;
    std::string remember_reason;  // why a write fails

    ProbeTicket Submit(ProbeOrder order) override {
        if (stopped) return 0;
        ++probes[order.host];
        if (order.echo_only) sweep_orders.push_back(order);
        pending_.emplace(++last_, std::move(order));
        return last_;
    }
    void Cancel(ProbeTicket ticket) override { cancelled_.push_back(ticket); }
    std::int64_t NowMs() override { return now; }
    std::vector<ArpRow> ReadArpRows() override { return rows; }
    std::vector<LocalIpv4Address> LocalAddresses() override { return locals; }
    bool Remember(const std::string& ip, const std::string& mac, std::string& reason) override {
        remembered.push_back(ip + "=" + mac);
        reason = remember_reason;
        return remember_works;
    }

    // The engine's Stop: every order ends cancelled, not by the watch's own Cancel.
    void Stop() {
        stopped = true;
        std::map<ProbeTicket, ProbeOrder> ending;
        ending.swap(pending_);
        for (auto& [ticket, order] : ending) {
            ProbeOutcome outcome;
            outcome.verdict = ProbeVerdict::kCancelled;
            order.done(outcome);
        }
    }

    // Ends orders in time order until none is left, or the next ends after `until`.
    void RunUntil(std::int64_t until) {
        while (true) {
            if (!cancelled_.empty()) {
                const ProbeTicket ticket = cancelled_.front();
                cancelled_.erase(cancelled_.begin());
                const auto found = pending_.find(ticket);
                if (found == pending_.end()) continue;
                ProbeOrder order = std::move(found->second);
                pending_.erase(found);
                ProbeOutcome outcome;
                outcome.verdict = ProbeVerdict::kCancelled;
                order.done(outcome);
                continue;
            }
            if (pending_.empty()) return;
            auto next = pending_.end();
            std::int64_t next_at = 0;
            const Machine* next_machine = nullptr;
            for (auto it = pending_.begin(); it != pending_.end(); ++it) {
                const Machine* machine = nullptr;
                const std::int64_t at = EndOf(it->second, machine);
                if (next == pending_.end() || at < next_at) {
                    next = it;
                    next_at = at;
                    next_machine = machine;
                }
            }
            if (next_at > until) return;
            now = std::max(now, next_at);
            ProbeOrder order = std::move(next->second);
            pending_.erase(next);
            ProbeOutcome outcome;
            if (const auto address = ReadIpv4Octets(order.host)) outcome.address = *address;
            if (next_machine != nullptr) {
                outcome.verdict = ProbeVerdict::kAnswered;
                outcome.how = AnswerKind::kEcho;
                outcome.answered_ms = now;
                if (next_machine->leaves_row) AddRow(*next_machine);
            } else if (unserved && !order.echo_only) {
                outcome.verdict = ProbeVerdict::kUnserved;
            }
            for (const Machine& m : machines) {
                if (!m.answers && m.leaves_row && m.address == outcome.address && Up(m, now)) AddRow(m);
            }
            order.done(outcome);
        }
    }

private:
    static bool Up(const Machine& m, std::int64_t at) { return at >= kSentMs + m.up_ms && at < kSentMs + m.down_ms; }
    // When the order ends, and the machine that answers it (none: it ends unanswered).
    std::int64_t EndOf(const ProbeOrder& order, const Machine*& answering) const {
        answering = nullptr;
        const auto address = ReadIpv4Octets(order.host);
        if (order.first_ms >= order.end_ms) return now;  // the engine ends it as it takes it in
        // Its first attempt starts once it has a place; none starts at or after its end.
        const std::int64_t start = order.first_ms + (order.echo_only ? busy_ms : 0);
        if (start >= order.end_ms) return order.end_ms;
        std::int64_t end = order.end_ms;
        if (order.attempts > 0) end = std::min(end, start + order.attempts * std::int64_t{order.attempt_ms});
        for (const Machine& m : machines) {
            if (!address || m.address != *address || !m.answers) continue;
            const std::int64_t at = std::max(start, kSentMs + m.up_ms) + 1;
            if (at < end && Up(m, at)) {
                answering = &m;
                end = at;
            }
        }
        return end;
    }
    void AddRow(const Machine& m) {
        ArpRow row;
        std::memcpy(&row.address, m.address.data(), 4);
        row.physical = HardwareAddress(m.mac);
        for (ArpRow& r : rows) {
            if (r.address == row.address) {
                r = row;
                return;
            }
        }
        rows.push_back(row);
    }
    std::map<ProbeTicket, ProbeOrder> pending_;
    std::vector<ProbeTicket> cancelled_;
    ProbeTicket last_ = 0;
};

// The command line's watch: probed from the send on, in attempts of 2 s, to /timeout.
constexpr WatchSchedule kCommandSchedule{0, 0, 2000, 30000};
constexpr WatchSchedule kCommand63{0, 0, 2000, 63000};
constexpr WatchSchedule kCommand64{0, 0, 2000, 64000};
constexpr WatchSchedule kCommand66{0, 0, 2000, 66000};

struct Watched {
    int reports = 0;
    WakeSighting seen;
    std::int64_t at_ms = -1;  // from the send
};

// Runs one wake: the probe before the packet `before_ms` ahead of the send, the send,
// then the watch to its end.
Watched RunWake(FakeNetwork& network, const std::string& ip, const WatchSchedule& schedule, bool sweep,
                std::int64_t before_ms, std::shared_ptr<LanSweeps> sweeps = std::make_shared<LanSweeps>()) {
    Watched watched;
    network.now = kSentMs - before_ms;
    const auto watch = WakeWatch::Create(network, sweeps, ip, kWokenText, WakeWatchPlan{schedule, sweep},
                                         [&](const WakeSighting& seen) {
                                             ++watched.reports;
                                             watched.seen = seen;
                                             watched.at_ms = network.now - kSentMs;
                                         });
    watch->ProbeBeforeSend();
    // The packet does not wait for that probe: whatever of it ends before the send has.
    network.RunUntil(kSentMs);
    network.now = kSentMs;
    watch->Start(kSentMs);
    network.RunUntil(kSentMs + 600000);
    return watched;
}

const Ipv4Bytes kTyped{10, 77, 0, 2};
const Ipv4Bytes kNew{10, 77, 0, 40};

// Each way a wake can go, with the dialog's schedule (a minute, probes to 90 s, the
// sweep from 75 s) or the command line's (from the send to /timeout, the sweep from
// 15 s before the end but not before 60 s after the send, and none when it would not
// end by the end: 64 s for a /24).
TEST(WakeWatch, SeesWhatReallyAnsweredWhereAndReportsWithinTheWatch) {
    const struct {
        const char* name;
        std::string ip;
        WatchSchedule schedule;
        bool sweep;
        std::vector<Machine> machines;
        WakeVerdict verdict;
        std::int64_t earliest_ms, latest_ms;  // of the report, from the send
        std::size_t swept;                    // echo-only orders
        std::vector<std::string> remembered;
        int needs_s;  // a sweep skipped for want of time: what it needs
    } cases[] = {
        {"comes up after the packet", "10.77.0.2", kWatchSchedule, true, {{kTyped, kWoken, 20000}},
         WakeVerdict::kTurnedOn, 60000, 60010, 0, {}, 0},
        {"already on before the packet", "10.77.0.2", kWatchSchedule, true, {{kTyped, kWoken, -10000}},
         WakeVerdict::kAlreadyOn, 60000, 60010, 0, {}, 0},
        // DHCP gave the address to another device while the PC slept, and back to the PC
        // as it woke: the answer before the packet was not the PC's.
        {"another device before the packet, the woken PC after it", "10.77.0.2", kWatchSchedule, true,
         {{kTyped, kOther, -10000, true, 0}, {kTyped, kWoken, 20000}}, WakeVerdict::kTurnedOn, 60000, 60010, 0, {}, 0},
        {"another device at the address", "10.77.0.2", kWatchSchedule, true, {{kTyped, kOther, -10000}},
         WakeVerdict::kOtherMac, 75000, 79000, 252, {}, 0},
        {"at a new address, the old one silent", "10.77.0.2", kWatchSchedule, true, {{kNew, kWoken, 30000}},
         WakeVerdict::kNewAddress, 75000, 79000, 252, {"10.77.0.40=00-1a-2b-3c-4d-5e"}, 0},
        {"at a new address, the old one another device's", "10.77.0.2", kWatchSchedule, true,
         {{kTyped, kOther, -10000}, {kNew, kWoken, 30000}}, WakeVerdict::kNewAddress, 75000, 79000, 252,
         {"10.77.0.40=00-1a-2b-3c-4d-5e"}, 0},
        // A row the sweep left where nothing answered (a device that answers ARP only) is
        // no new address.
        {"the woken MAC's row where nothing answers", "10.77.0.2", kWatchSchedule, true,
         {{kNew, kWoken, 30000, true, kNever, false}}, WakeVerdict::kNoAnswer, 90000, 90000, 252, {}, 0},
        {"silent everywhere", "10.77.0.2", kWatchSchedule, true, {}, WakeVerdict::kNoAnswer, 90000, 90000, 252, {},
         0},
        {"comes up late, while the sweep runs", "10.77.0.2", kWatchSchedule, true, {{kTyped, kWoken, 76000}},
         WakeVerdict::kTurnedOn, 76000, 76010, 252, {}, 0},
        {"sweep turned off", "10.77.0.2", kWatchSchedule, false, {{kNew, kWoken, 30000}}, WakeVerdict::kNoAnswer,
         90000, 90000, 0, {}, 0},
        {"answered, no ARP row", "10.77.0.2", kWatchSchedule, true, {{kTyped, kOther, 20000, false}},
         WakeVerdict::kTurnedOn, 60000, 60010, 0, {}, 0},
        {"not on a LAN of this PC: the row is the router's", "192.168.5.9", kWatchSchedule, true,
         {{{192, 168, 5, 9}, kOther, 20000}}, WakeVerdict::kTurnedOn, 60000, 60010, 0, {}, 0},
        {"not on a LAN of this PC, silent: nothing to sweep", "192.168.5.9", kWatchSchedule, true, {},
         WakeVerdict::kNoAnswer, 90000, 90000, 0, {}, 0},
        {"a machine's name", "nas", kWatchSchedule, true, {}, WakeVerdict::kNoAnswer, 90000, 90000, 0, {}, 0},
        // Said by the watch; whether it matters is the report's to say.
        {"command line: already on", "10.77.0.2", kCommandSchedule, true, {{kTyped, kWoken, -10000}},
         WakeVerdict::kAlreadyOn, 0, 10, 0, {}, 64},
        {"command line, 66 s: at a new address", "10.77.0.2", kCommand66, true, {{kNew, kWoken, 2000}},
         WakeVerdict::kNewAddress, 60000, 64000, 252, {"10.77.0.40=00-1a-2b-3c-4d-5e"}, 0},
        {"command line, 64 s: the sweep just fits", "10.77.0.2", kCommand64, true, {{kNew, kWoken, 2000}},
         WakeVerdict::kNewAddress, 60000, 64000, 252, {"10.77.0.40=00-1a-2b-3c-4d-5e"}, 0},
        // Too short for a sweep from 60 s on: none at all, rather than one in the first
        // seconds, before any PC can have booted.
        {"command line, 63 s: no room for the sweep", "10.77.0.2", kCommand63, true, {{kNew, kWoken, 2000}},
         WakeVerdict::kNoAnswer, 63000, 63000, 0, {}, 64},
        {"command line, 30 s: at a new address, unfound", "10.77.0.2", kCommandSchedule, true, {{kNew, kWoken, 2000}},
         WakeVerdict::kNoAnswer, 30000, 30000, 0, {}, 64},
        {"command line, 2 s: silent", "10.77.0.2", {0, 0, 2000, 2000}, true, {}, WakeVerdict::kNoAnswer, 2000, 2000,
         0, {}, 64},
        // Another device at the address: the verdict can still change only while a sweep
        // may find the PC elsewhere.
        {"command line, another device, no room: ends at once", "10.77.0.2", kCommandSchedule, true,
         {{kTyped, kOther, -10000}}, WakeVerdict::kOtherMac, 0, 10, 0, {}, 64},
        {"command line, another device, no sweep: ends at once", "10.77.0.2", kCommand66, false,
         {{kTyped, kOther, -10000}}, WakeVerdict::kOtherMac, 0, 10, 0, {}, 0},
        {"command line, another device, a sweep to come: runs on to it", "10.77.0.2", kCommand66, true,
         {{kTyped, kOther, -10000}}, WakeVerdict::kOtherMac, 63000, 64000, 252, {}, 0},
        {"command line, another device, then the PC at a new address", "10.77.0.2", kCommand66, true,
         {{kTyped, kOther, -10000}, {kNew, kWoken, 30000}}, WakeVerdict::kNewAddress, 60000, 64000, 252,
         {"10.77.0.40=00-1a-2b-3c-4d-5e"}, 0},
    };
    for (const auto& c : cases) {
        FakeNetwork network;
        network.machines = c.machines;
        const std::int64_t before_ms = c.schedule.wait_ms > 0 ? 3000 : 1;
        const Watched watched = RunWake(network, c.ip, c.schedule, c.sweep, before_ms);
        EXPECT_EQ(watched.reports, 1) << c.name;
        EXPECT_EQ(DecideWakeReport(watched.seen).verdict, c.verdict) << c.name;
        EXPECT_GE(watched.at_ms, c.earliest_ms) << c.name;
        EXPECT_LE(watched.at_ms, c.latest_ms) << c.name;
        EXPECT_EQ(network.sweep_orders.size(), c.swept) << c.name;
        EXPECT_EQ(network.remembered, c.remembered) << c.name;
        EXPECT_EQ(watched.seen.sweep_needs_s, c.needs_s) << c.name;
        if (c.verdict == WakeVerdict::kNewAddress) {
            EXPECT_EQ(watched.seen.new_address, kNew) << c.name;
        }
        // No sweep starts before 60 s after the send.
        for (const ProbeOrder& order : network.sweep_orders) EXPECT_GE(order.first_ms, kSentMs + 60000) << c.name;
    }
}

// A new address that cannot be remembered is still the report's, and the pair goes into
// what the watch saw, with the system's reason; whether the sweep found it or the ARP
// table knew it already and a probe confirmed it.
TEST(WakeWatch, APairItCouldNotRememberIsInWhatItSaw) {
    const struct {
        const char* name;
        bool works;
        bool row_before_sweep;
        std::string not_remembered;  // ip=mac: reason
    } cases[] = {
        {"found by the sweep", false, false, "10.77.0.40=00-1a-2b-3c-4d-5e: Access is denied (5)"},
        {"known to the ARP table, confirmed", false, true, "10.77.0.40=00-1a-2b-3c-4d-5e: Access is denied (5)"},
        {"remembered", true, false, ""},
    };
    for (const auto& c : cases) {
        FakeNetwork network;
        network.machines = {{kNew, kWoken, 2000}};
        network.remember_works = c.works;
        network.remember_reason = c.works ? "" : "Access is denied (5)";
        if (c.row_before_sweep) {
            ArpRow row;
            std::memcpy(&row.address, kNew.data(), 4);
            row.physical = HardwareAddress(kWoken);
            network.rows.push_back(row);
        }
        const Watched watched = RunWake(network, "10.77.0.2", kCommand66, true, 1);
        EXPECT_EQ(DecideWakeReport(watched.seen).verdict, WakeVerdict::kNewAddress) << c.name;
        EXPECT_EQ(network.remembered, std::vector<std::string>{"10.77.0.40=00-1a-2b-3c-4d-5e"}) << c.name;
        std::string told;
        for (const PairNotRemembered& pair : watched.seen.not_remembered) {
            told += pair.ip + "=" + pair.mac + ": " + pair.reason;
        }
        EXPECT_EQ(told, c.not_remembered) << c.name;
        EXPECT_EQ(network.sweep_orders.size(), c.row_before_sweep ? 0u : 252u) << c.name;
    }
}

// The sweep asks every other address of the LAN once, echo only, a few at a time.
TEST(WakeWatch, SweepsEachAddressOnceEchoOnlyAndPaced) {
    FakeNetwork network;
    RunWake(network, "10.77.0.2", kWatchSchedule, true, 3000);
    ASSERT_EQ(network.sweep_orders.size(), 252u);
    std::map<std::string, int> hosts;
    std::map<std::int64_t, int> per_start;
    for (const ProbeOrder& order : network.sweep_orders) {
        ++hosts[order.host];
        ++per_start[order.first_ms];
        EXPECT_EQ(order.attempts, 1);
        EXPECT_TRUE(order.echo_only);
        EXPECT_GE(order.first_ms, kSentMs + 75000);
    }
    EXPECT_EQ(hosts.size(), 252u);
    EXPECT_EQ(hosts.count("10.77.0.1") + hosts.count("10.77.0.2"), 0u);
    for (const auto& [at, count] : per_start) EXPECT_LE(count, kSweepPace.at_once);
    // Spread over seconds, and done well before the watch's end.
    EXPECT_GE(per_start.rbegin()->first - per_start.begin()->first, 3000);
    EXPECT_LE(per_start.rbegin()->first + kSweepPace.attempt_ms, kSentMs + 80000);
}

// An engine busy with other orders (another LAN's sweep, a long list's watches) makes
// the sweep's echo requests wait for a place: they are asked late, not dropped.
TEST(WakeWatch, ASweepOnABusyEngineAsksLateRatherThanNever) {
    const struct {
        std::int64_t busy_ms;
        WakeVerdict verdict;
    } cases[] = {
        {0, WakeVerdict::kNewAddress},
        {1000, WakeVerdict::kNewAddress},
        {4000, WakeVerdict::kNewAddress},
    };
    for (const auto& c : cases) {
        FakeNetwork network;
        network.machines = {{kNew, kWoken, 2000}};
        network.busy_ms = c.busy_ms;
        const Watched watched = RunWake(network, "10.77.0.2", kWatchSchedule, true, 3000);
        EXPECT_EQ(DecideWakeReport(watched.seen).verdict, c.verdict) << c.busy_ms;
        EXPECT_LE(watched.at_ms, 90000) << c.busy_ms;
    }
}

// An address the engine could not ask after the packet is not known to be silent; one
// that was asked and said nothing is.
TEST(WakeWatch, AnAddressNeverAskedIsNotSaidToBeSilent) {
    for (const bool unserved : {false, true}) {
        FakeNetwork network;
        network.unserved = unserved;
        const Watched watched = RunWake(network, "10.77.0.2", kCommandSchedule, false, 3000);
        EXPECT_EQ(watched.seen.not_asked, unserved);
        EXPECT_EQ(DecideWakeReport(watched.seen).verdict, WakeVerdict::kNoAnswer);
    }
}

// A watch joins a sweep whenever it needs it: before its first answer, with one order
// still out, or after its end; each gets every address that answered, once, and never
// one that did not.
TEST(LanSweep, TellsEveryWatchEveryAddressThatAnsweredOnceWheneverItJoins) {
    // Nine addresses: eight at once, the ninth a step later. The first answers at once,
    // the ninth late, after the others have ended unanswered.
    std::vector<Ipv4Bytes> addresses;
    for (std::uint8_t host = 40; host <= 48; ++host) addresses.push_back({10, 77, 0, host});
    const std::vector<Ipv4Bytes> answered = {addresses.front(), addresses.back()};
    const struct {
        const char* name;
        std::int64_t join_ms;  // from the sweep's start
        bool told_at_once;
    } cases[] = {
        {"joins before anything ended", 0, false},
        {"joins with one order out", kSweepPace.attempt_ms + 20, false},
        {"joins after the end", 2000, true},
    };
    for (const auto& c : cases) {
        FakeNetwork network;
        network.machines = {{addresses.front(), kOther, -1}, {addresses.back(), kWoken, kSweepPace.attempt_ms + 40}};
        network.now = kSentMs;
        const auto sweep = LanSweep::Start(network, addresses, kSentMs, kSentMs + 60000);
        network.RunUntil(kSentMs + c.join_ms);
        std::vector<std::vector<Ipv4Bytes>> told;
        sweep->WhenFinished([&told](const std::vector<Ipv4Bytes>& found) { told.push_back(found); });
        EXPECT_EQ(told.size(), c.told_at_once ? 1u : 0u) << c.name;
        network.RunUntil(kSentMs + 600000);
        EXPECT_EQ(told, std::vector<std::vector<Ipv4Bytes>>{answered}) << c.name;
        EXPECT_FALSE(sweep->Running()) << c.name;
    }
}

// One sweep of a LAN at a time: a watch that needs one while a sweep of its LAN runs
// shares it (a /list's PCs, sent together; two wakes from the dialog seconds apart);
// once a sweep has ended, the next watch that needs one gets its own, which sees the PC
// that has come up since.
// A LAN is its network and its mask: a /25 inside a /24 is swept on its own.
TEST(WakeWatch, SharesTheSweepOfItsLanWhileItRunsAndNeverAFinishedOne) {
    const Ipv4Bytes second_new{10, 77, 0, 250};  // late in the sweep's order
    static const LocalIpv4Address lan24{{10, 77, 0, 1}, {255, 255, 255, 0}};
    static const LocalIpv4Address lan25{{10, 77, 0, 5}, {255, 255, 255, 128}};
    const struct {
        const char* name;
        WatchSchedule schedule;
        std::int64_t second_sent_ms;  // from the first send
        std::int64_t second_up_ms;    // the second PC, at its new address
        std::size_t swept;
        std::vector<LocalIpv4Address> locals = {lan24};
        const char* second_ip = "10.77.0.3";
    } cases[] = {
        {"a /list: sent together", kCommand66, 0, 1000, 252},
        {"the dialog: woken 2 s apart, the second joins the running sweep", kWatchSchedule, 2000, 30000, 252},
        {"the dialog: woken 10 s apart, the second gets a sweep of its own", kWatchSchedule, 10000, 80000, 504},
        {"woken 2 s apart, the first on a /25 of the same network", kWatchSchedule, 2000, 30000, 123 + 251,
         {lan24, lan25}, "10.77.0.200"},
    };
    for (const auto& c : cases) {
        FakeNetwork network;
        network.locals = c.locals;
        network.machines = {{kNew, kWoken, 1000}, {second_new, kOther, c.second_up_ms}};
        const auto sweeps = std::make_shared<LanSweeps>();
        const struct {
            const char* ip;
            const char* mac;
            std::int64_t sent_ms;
        } wakes[] = {{"10.77.0.2", kWokenText, 0}, {c.second_ip, "02-00-00-00-00-09", c.second_sent_ms}};
        std::vector<std::optional<WakeSighting>> seen(2);
        std::vector<std::shared_ptr<WakeWatch>> watches;
        for (std::size_t i = 0; i < 2; ++i) {
            const std::int64_t sent = kSentMs + wakes[i].sent_ms;
            network.RunUntil(sent - 1);
            network.now = std::max(network.now, sent - 1);
            watches.push_back(WakeWatch::Create(network, sweeps, wakes[i].ip, wakes[i].mac,
                                                WakeWatchPlan{c.schedule, true},
                                                [&seen, i](const WakeSighting& told) { seen[i] = told; }));
            watches.back()->ProbeBeforeSend();
            network.RunUntil(sent);
            network.now = sent;
            watches.back()->Start(sent);
        }
        network.RunUntil(kSentMs + 600000);
        ASSERT_TRUE(seen[0] && seen[1]) << c.name;
        EXPECT_EQ(seen[0]->new_address, kNew) << c.name;
        EXPECT_EQ(seen[1]->new_address, second_new) << c.name;
        EXPECT_EQ(network.sweep_orders.size(), c.swept) << c.name;
    }
}

// The engine stops when the dialog closes: whatever the watch was doing, nobody is told.
TEST(WakeWatch, TellsNobodyOnceTheEngineHasStopped) {
    for (const std::int64_t stop_at_ms : {-2800, 30000, 61000, 76000}) {
        FakeNetwork network;
        network.machines = {{kTyped, kOther, -10000}};
        network.now = kSentMs - 3000;
        int reports = 0;
        const auto watch =
            WakeWatch::Create(network, std::make_shared<LanSweeps>(), "10.77.0.2", kWokenText,
                              WakeWatchPlan{kWatchSchedule, true}, [&](const WakeSighting&) { ++reports; });
        watch->ProbeBeforeSend();
        // Stopped while the probe before the packet runs, or once the watch is under way.
        if (stop_at_ms < 0) {
            network.RunUntil(kSentMs + stop_at_ms);
            network.Stop();
        }
        network.now = kSentMs;
        watch->Start(kSentMs);
        if (stop_at_ms >= 0) {
            network.RunUntil(kSentMs + stop_at_ms);
            network.Stop();
        }
        network.RunUntil(kSentMs + 600000);
        EXPECT_EQ(reports, 0) << stop_at_ms;
    }
}

}  // namespace
