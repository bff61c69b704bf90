// Runs under Wine inside the test network namespace only (with its second LAN): the
// peers 10.77.0.2 and 10.78.0.2 answer pings, nobody holds 10.77.0.3 or 10.77.0.61.
//
// The watches run on an engine forced to one echo path each, the IP helper's above all:
// it is the one a standard user's PC runs, and the tests as root would otherwise only
// ever run the raw socket's. The io's counters show which path carried the echoes.
#include "app/wake_watch-win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/list_command.h"
#include "app/wake_report.h"
#include "common/monotonic_clock-win32.h"
#include "net/probe_engine-win32.h"
#include "net/socket-win32.h"

namespace {

using Pair = std::pair<std::string, std::string>;

// This PC's network over an engine of the test's own. It remembers in memory, not in
// the registry cache. With `hide_rows_until_sweep` its ARP table is empty until a sweep
// is submitted, as on a PC that has not met the peer yet: earlier tests probed it, and
// with its row in the table the watch would find the MAC without sweeping.
class TestNetwork final : public ThisPcWatchNetwork {
public:
    TestNetwork(ProbeEngine& engine, bool hide_rows_until_sweep)
        : ThisPcWatchNetwork(&engine), sweeping_(!hide_rows_until_sweep) {}
    ProbeTicket Submit(ProbeOrder order) override {
        if (order.echo_only) sweeping_ = true;
        return ThisPcWatchNetwork::Submit(std::move(order));
    }
    std::vector<ArpRow> ReadArpRows() override {
        return sweeping_ ? ThisPcWatchNetwork::ReadArpRows() : std::vector<ArpRow>{};
    }
    bool Remember(const std::string& ip, const std::string& mac, std::string&) override {
        const std::lock_guard<std::mutex> lock(mutex_);
        remembered_.emplace_back(ip, mac);
        return true;
    }
    std::vector<Pair> Remembered() {
        const std::lock_guard<std::mutex> lock(mutex_);
        return remembered_;
    }

private:
    std::atomic<bool> sweeping_;
    std::mutex mutex_;
    std::vector<Pair> remembered_;
};

// An engine forced to `path` and the network over it. The engine stops before the
// network goes: an order's `done` may still use it.
struct ForcedPath {
    ForcedPath(EchoPath path, bool hide_rows_until_sweep) : engine(path), network(engine.engine(), hide_rows_until_sweep) {}
    ~ForcedPath() { engine.Stop(); }
    ProbeEngineThread engine;
    TestNetwork network;
};

class WakeWatchWin32 : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(winsock_.started()); }
    WinsockSession winsock_;
};

// /list's own flow with /wait over the list's watches (ListWatches) on a forced engine;
// only the sends are left out, the PCs are on already. One PC on each LAN answers, one
// address is held by nobody: the same lines and report on either path. Before the sweep
// below: a sweep leaves some 250 rows in the test network's ARP table, which Wine then
// reads in 100-250 ms, on the engine's thread, for every answer; a few such reads in a
// row make a 500 ms probe before a packet start too late to be sent.
class ForcedPathList final : public ListSystem, public WakeActions {
public:
    explicit ForcedPathList(WakeWatchNetwork& network) : watches_(false, network) {}
    std::string report;

    bool ReadListFile(const std::string&, std::string& bytes, std::string&) override {
        bytes = "10.77.0.2,02:77:00:00:00:02,peer\r\n10.77.0.3,02:77:00:00:00:03,nobody\r\n"
                "10.78.0.2,02:78:00:00:00:02,lan2\r\n";
        return true;
    }
    std::string FindMacWithoutRequest(const std::string&) override { return ""; }
    WakeActions& Wake() override { return *this; }
    bool Pause(int) override { return true; }
    std::optional<Ipv4Bytes> ResolveHost(const std::string&) override { return std::nullopt; }
    std::int64_t NowMs() override { return MonotonicMs(); }
    void WatchAll(const std::vector<WatchTarget>& targets, std::int64_t end_ms, const WatchVerdict& verdict) override {
        watches_.WatchAll(targets, end_ms, verdict, [] { return false; });
    }
    bool IsSameFile(const std::string&, const std::string&) override { return false; }
    bool WriteReportFile(const std::string&, const std::string& text, std::string&) override {
        report = text;
        return true;
    }

    bool WriteCache(const std::string&, const std::string&, std::string&) override { return true; }
    bool SendMagicPacket(const std::string&, int, const std::string&, const std::string&,
                         const std::vector<WireEndpoint>&) override {
        return true;
    }
    void ProbeBeforeSend(const std::string& ip, const std::string& mac) override { watches_.ProbeBeforeSend(ip, mac); }
    void StartWatcher(const std::string&, const std::string&, const std::optional<PairNotRemembered>&) override {}

private:
    ListWatches watches_;
};

TEST_F(WakeWatchWin32, AListWithWaitGivesTheSameVerdictsOnEachForcedPath) {
    const CommandRequest request =
        ParseCommandLine({"/list", "pcs.csv", "/wait", "/timeout", "2", "/nosweep", "/report", "report.csv"});
    ASSERT_EQ(request.kind, CommandKind::kList) << request.error;
    const std::vector<std::string> verdicts = {
        // As each is known: the two that answer in either order, then the silent one.
        "10.77.0.2 02-77-00-00-00-02 peer was already on",
        "10.78.0.2 02-78-00-00-00-02 lan2 was already on",
        "10.77.0.3 02-77-00-00-00-03 nobody no answer",
    };
    const std::string csv =
        "\xEF\xBB\xBFip,mac,label,verdict,seconds,answered_by,note\r\n"
        "10.77.0.2,02-77-00-00-00-02,peer,already-on,,,\r\n"
        "10.77.0.3,02-77-00-00-00-03,nobody,no-answer,,,\r\n"
        "10.78.0.2,02-78-00-00-00-02,lan2,already-on,,,\r\n";
    for (const EchoPath path : {EchoPath::kIpHelperOnly, EchoPath::kRawOnly}) {
        SCOPED_TRACE(static_cast<int>(path));
        ForcedPath forced(path, false);
        ASSERT_TRUE(forced.engine.IsRunning());
        ForcedPathList system(forced.network);
        std::vector<std::string> lines;
        const int code = RunList(request, system, [&lines](const std::string& line) { lines.push_back(line); });
        EXPECT_EQ(code, kExitNoAnswer);
        ASSERT_EQ(lines.size(), 4u);
        std::vector<std::string> known(lines.begin(), lines.begin() + 3);
        std::sort(known.begin(), known.begin() + 2);
        EXPECT_EQ(known, verdicts);
        EXPECT_EQ(lines[3].rfind("2 of 3 PCs answered in ", 0), 0u) << lines[3];
        EXPECT_EQ(system.report, csv);
        const ProbeIoSent sent = forced.engine.Sent();
        const bool api = path == EchoPath::kIpHelperOnly;
        EXPECT_GE(api ? sent.api_echoes : sent.raw_echoes, 6u);  // one before each packet, one in each watch
        EXPECT_EQ(api ? sent.raw_echoes : sent.api_echoes, 0u);
    }
}

// The woken PC came up at another address of this PC's LAN: the sweep, which starts
// 15 s before the end (and so at once here, where it need not wait a minute for a boot), makes the table learn its MAC, and the watch
// reports it there and remembers it, on either path.
TEST_F(WakeWatchWin32, TheSweepFindsTheWokenPcAtItsNewAddressOnEachForcedPath) {
    constexpr std::size_t kSweptAddresses = 252;  // 10.77.0.1-254 but this PC and the watched one
    for (const EchoPath path : {EchoPath::kIpHelperOnly, EchoPath::kRawOnly}) {
        SCOPED_TRACE(static_cast<int>(path));
        struct Told {
            std::mutex mutex;
            std::condition_variable arrived;
            std::optional<WakeSighting> seen;
        };
        const auto told = std::make_shared<Told>();
        ForcedPath forced(path, true);
        ASSERT_TRUE(forced.engine.IsRunning());
        // No waiting for a PC to boot here: the sweep may start as soon as the end allows.
        const WakeWatchPlan plan{WatchSchedule{0, 0, 500, 0}, true, 0};
        const auto watch = WakeWatch::Create(forced.network, std::make_shared<LanSweeps>(), "10.77.0.61",
                                             "02:77:00:00:00:02", plan, [told](const WakeSighting& seen) {
                                                 const std::lock_guard<std::mutex> lock(told->mutex);
                                                 told->seen = seen;
                                                 told->arrived.notify_all();
                                             });
        const std::int64_t sent_ms = MonotonicMs();
        watch->Start(sent_ms, sent_ms + 16000);
        std::optional<WakeSighting> seen;
        {
            std::unique_lock<std::mutex> lock(told->mutex);
            told->arrived.wait_for(lock, std::chrono::seconds(12), [&] { return told->seen.has_value(); });
            seen = told->seen;
        }
        watch->Cancel();
        ASSERT_TRUE(seen.has_value());
        EXPECT_LT(MonotonicMs() - sent_ms, 8000);  // not at the end
        EXPECT_EQ(DecideWakeReport(*seen).verdict, WakeVerdict::kNewAddress);
        EXPECT_EQ(seen->new_address, (Ipv4Bytes{10, 77, 0, 2}));
        EXPECT_EQ(forced.network.Remembered(), (std::vector<Pair>{{"10.77.0.2", "02:77:00:00:00:02"}}));
        const ProbeIoSent sent = forced.engine.Sent();
        const bool api = path == EchoPath::kIpHelperOnly;
        EXPECT_GE(api ? sent.api_echoes : sent.raw_echoes, kSweptAddresses);
        EXPECT_EQ(api ? sent.raw_echoes : sent.api_echoes, 0u);
    }
}

// A network whose engine takes no order, counting its reads of this PC's addresses.
class CountedAdapters final : public WakeWatchNetwork {
public:
    int reads = 0;
    ProbeTicket Submit(ProbeOrder) override { return 0; }
    void Cancel(ProbeTicket) override {}
    std::int64_t NowMs() override { return MonotonicMs(); }
    std::vector<ArpRow> ReadArpRows() override { return {}; }
    std::vector<LocalIpv4Address> LocalAddresses() override {
        ++reads;
        return {{{10, 77, 0, 1}, {255, 255, 255, 0}}};
    }
    bool Remember(const std::string&, const std::string&, std::string&) override { return true; }
};

// A list's watches read the adapters once, however many PCs it has; the next list reads them anew.
TEST(ListWatchesAdapters, AreReadOncePerList) {
    CountedAdapters network;
    for (int list = 1; list <= 2; ++list) {
        ListWatches watches(true, network);
        for (const char* ip : {"10.77.0.2", "10.77.0.3", "10.77.1.4"}) watches.ProbeBeforeSend(ip, "02:77:00:00:00:02");
        EXPECT_EQ(network.reads, list);
    }
}

}  // namespace
