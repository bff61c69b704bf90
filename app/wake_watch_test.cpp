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

// A machine of the test LAN: from `up_ms` (from the send; negative: before it) it
// answers every probe, and the exchange leaves its row in the ARP table unless
// `leaves_row` is false.
struct Machine {
    Ipv4Bytes address;
    MacBytes mac;
    std::int64_t up_ms;
    bool leaves_row = true;
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
    void Remember(const std::string& ip, const std::string& mac) override { remembered.push_back(ip + "=" + mac); }

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
            }
            order.done(outcome);
        }
    }

private:
    // When the order ends, and the machine that answers it (none: it ends unanswered).
    std::int64_t EndOf(const ProbeOrder& order, const Machine*& answering) const {
        answering = nullptr;
        const auto address = ReadIpv4Octets(order.host);
        if (order.first_ms >= order.end_ms) return now;  // the engine ends it as it takes it in
        for (const Machine& m : machines) {
            if (!address || m.address != *address) continue;
            const std::int64_t at = std::max(order.first_ms, kSentMs + m.up_ms) + 1;
            if (at < order.end_ms) {
                answering = &m;
                return at;
            }
        }
        return order.end_ms;
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

constexpr WatchSchedule kCommandSchedule{0, 0, 2000, 30000};

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
// sweep from 75 s) or the command line's (from the send, here 30 s, the sweep at once
// when the address stays silent... from 15 s before the end).
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
    } cases[] = {
        {"comes up after the packet", "10.77.0.2", kWatchSchedule, true, {{kTyped, kWoken, 20000}},
         WakeVerdict::kTurnedOn, 60000, 60010, 0, {}},
        {"already on before the packet", "10.77.0.2", kWatchSchedule, true, {{kTyped, kWoken, -10000}},
         WakeVerdict::kAlreadyOn, 60000, 60010, 0, {}},
        {"another device at the address", "10.77.0.2", kWatchSchedule, true, {{kTyped, kOther, -10000}},
         WakeVerdict::kOtherMac, 75000, 79000, 252, {}},
        {"at a new address, the old one silent", "10.77.0.2", kWatchSchedule, true, {{kNew, kWoken, 30000}},
         WakeVerdict::kNewAddress, 75000, 79000, 252, {"10.77.0.40=00-1a-2b-3c-4d-5e"}},
        {"at a new address, the old one another device's", "10.77.0.2", kWatchSchedule, true,
         {{kTyped, kOther, -10000}, {kNew, kWoken, 30000}}, WakeVerdict::kNewAddress, 75000, 79000, 252,
         {"10.77.0.40=00-1a-2b-3c-4d-5e"}},
        {"silent everywhere", "10.77.0.2", kWatchSchedule, true, {}, WakeVerdict::kNoAnswer, 90000, 90000, 252, {}},
        {"comes up late, while the sweep runs", "10.77.0.2", kWatchSchedule, true, {{kTyped, kWoken, 76000}},
         WakeVerdict::kTurnedOn, 76000, 76010, 252, {}},
        {"sweep turned off", "10.77.0.2", kWatchSchedule, false, {{kNew, kWoken, 30000}}, WakeVerdict::kNoAnswer,
         90000, 90000, 0, {}},
        {"answered, no ARP row", "10.77.0.2", kWatchSchedule, true, {{kTyped, kOther, 20000, false}},
         WakeVerdict::kTurnedOn, 60000, 60010, 0, {}},
        {"not on a LAN of this PC: the row is the router's", "192.168.5.9", kWatchSchedule, true,
         {{{192, 168, 5, 9}, kOther, 20000}}, WakeVerdict::kTurnedOn, 60000, 60010, 0, {}},
        {"not on a LAN of this PC, silent: nothing to sweep", "192.168.5.9", kWatchSchedule, true, {},
         WakeVerdict::kNoAnswer, 90000, 90000, 0, {}},
        {"a machine's name", "nas", kWatchSchedule, true, {}, WakeVerdict::kNoAnswer, 90000, 90000, 0, {}},
        {"command line: already on", "10.77.0.2", kCommandSchedule, true, {{kTyped, kWoken, -10000}},
         WakeVerdict::kAlreadyOn, 0, 10, 0, {}},
        {"command line: at a new address", "10.77.0.2", kCommandSchedule, true, {{kNew, kWoken, 2000}},
         WakeVerdict::kNewAddress, 15000, 19000, 252, {"10.77.0.40=00-1a-2b-3c-4d-5e"}},
        // A watch shorter than the sweep: the sweep is cut at the watch's end, and so is the report.
        {"command line, 2 s: silent", "10.77.0.2", {0, 0, 2000, 2000}, true, {}, WakeVerdict::kNoAnswer, 2000, 2000,
         252, {}},
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
        if (c.verdict == WakeVerdict::kNewAddress) {
            EXPECT_EQ(watched.seen.new_address, kNew) << c.name;
        }
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

// One sweep per LAN per run: two watches of one /list share it.
TEST(WakeWatch, WatchesOfOneRunShareTheSweepOfTheirLan) {
    FakeNetwork network;
    network.machines = {{kNew, kWoken, 1000}};
    const auto sweeps = std::make_shared<LanSweeps>();
    std::vector<WakeVerdict> verdicts;
    std::vector<std::shared_ptr<WakeWatch>> watches;
    network.now = kSentMs - 1;
    for (const char* ip : {"10.77.0.2", "10.77.0.3"}) {
        watches.push_back(WakeWatch::Create(network, sweeps, ip, kWokenText, WakeWatchPlan{kCommandSchedule, true},
                                            [&](const WakeSighting& seen) {
                                                verdicts.push_back(DecideWakeReport(seen).verdict);
                                            }));
        watches.back()->ProbeBeforeSend();
    }
    network.now = kSentMs;
    for (const auto& watch : watches) watch->Start(kSentMs);
    network.RunUntil(kSentMs + 600000);
    EXPECT_EQ(verdicts, (std::vector<WakeVerdict>{WakeVerdict::kNewAddress, WakeVerdict::kNewAddress}));
    EXPECT_EQ(network.sweep_orders.size(), 252u);
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
