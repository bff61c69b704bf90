#include "app/wake_watch-win32.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

#include "app/probe_commands-win32.h"  // kCommandAttemptMs
#include "cache/registry_cache-win32.h"
#include "common/monotonic_clock-win32.h"
#include "common/system_error-win32.h"
#include "net/adapter_list-win32.h"
#include "net/arp_sources-win32.h"
#include "net/probe_engine-win32.h"

namespace {

// Time the command line's watch is given beyond its end before it stops waiting: the
// engine reports every watch by then, unless it was stopped.
constexpr auto kWatchGrace = std::chrono::seconds(10);

}  // namespace

ProbeTicket ThisPcWatchNetwork::Submit(ProbeOrder order) {
    ProbeEngine* engine = Engine();
    return engine != nullptr ? engine->Submit(std::move(order)) : 0;
}

void ThisPcWatchNetwork::Cancel(ProbeTicket ticket) {
    if (ProbeEngine* engine = Engine()) engine->Cancel(ticket);
}

std::int64_t ThisPcWatchNetwork::NowMs() { return MonotonicMs(); }

std::vector<ArpRow> ThisPcWatchNetwork::ReadArpRows() { return IpHelperArpTable().ReadRows(); }

std::vector<LocalIpv4Address> ThisPcWatchNetwork::LocalAddresses() { return ReadLocalIpv4Addresses(); }

bool ThisPcWatchNetwork::Remember(const std::string& ip, const std::string& mac, std::string& reason) {
    LONG status = ERROR_SUCCESS;
    if (WriteCacheValue(ip, mac, &status)) return true;
    reason = SystemErrorText(static_cast<DWORD>(status));
    return false;
}

ProbeEngine* ThisPcWatchNetwork::Engine() const { return engine_ != nullptr ? engine_ : ProcessProbeEngine(); }

WakeWatchNetwork& SystemWatchNetwork() {
    static ThisPcWatchNetwork network;
    return network;
}

std::shared_ptr<LanSweeps> ProcessLanSweeps() {
    static const std::shared_ptr<LanSweeps> sweeps = std::make_shared<LanSweeps>();
    return sweeps;
}

SweepSetting SweepSettingOnThisPc() { return SweepSettingOf(ReadSetting("NoSweep")); }

std::optional<WakeSighting> WatchWakeOnThisPc(const std::string& ip, const std::string& mac, std::int64_t timeout_ms,
                                              bool sweep, const std::function<bool()>& send) {
    // Without an engine nothing is probed, and nothing would ever be reported.
    if (ProcessProbeEngine() == nullptr) return send() ? std::optional<WakeSighting>(WakeSighting{}) : std::nullopt;
    // A list of one PC.
    ListWatches watches(sweep);
    watches.ProbeBeforeSend(ip, mac);
    if (!send()) return std::nullopt;
    const std::int64_t sent_ms = MonotonicMs();
    WakeSighting seen;
    watches.WatchAll({WatchTarget{ip, sent_ms, mac}}, sent_ms + timeout_ms,
                     [&seen](std::size_t, const WakeSighting& told) { seen = told; }, [] { return false; });
    return seen;
}

std::vector<LocalIpv4Address> AdaptersReadOnce::LocalAddresses() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!locals_) locals_ = network_.LocalAddresses();
    return *locals_;
}

struct ListWatches::Reports {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::pair<std::size_t, WakeSighting>> queue;
};

std::shared_ptr<WakeWatch> ListWatches::Create(const std::string& ip, const std::string& mac, WakeWatch::Done done) {
    const WakeWatchPlan plan{WatchSchedule{0, 0, kCommandAttemptMs, 0}, sweep_};
    // The watch keeps its network for as long as it lives, through its report.
    return WakeWatch::Create(*network_, sweeps_, ip, mac, plan,
                             [network = network_, done = std::move(done)](const WakeSighting& seen) { done(seen); });
}

void ListWatches::ProbeBeforeSend(const std::string& ip, const std::string& mac) {
    if (!reports_) reports_ = std::make_shared<Reports>();
    // The target's number is known only in WatchAll: the watch reports through the slot.
    const auto slot = std::make_shared<std::size_t>(0);
    auto watch = Create(ip, mac, [reports = reports_, slot](const WakeSighting& seen) {
        {
            const std::lock_guard<std::mutex> lock(reports->mutex);
            reports->queue.emplace_back(*slot, seen);
        }
        reports->arrived.notify_one();
    });
    watch->ProbeBeforeSend();
    made_.push_back(Made{ip, mac, std::move(watch), slot});
}

void ListWatches::WatchAll(const std::vector<WatchTarget>& targets, std::int64_t end_ms, const WatchVerdict& verdict,
                           const std::function<bool()>& stop_asked) {
    if (!reports_) reports_ = std::make_shared<Reports>();
    std::vector<std::shared_ptr<WakeWatch>> watches;
    std::vector<bool> used(made_.size(), false);
    for (std::size_t i = 0; i < targets.size(); ++i) {
        std::size_t m = 0;
        while (m < made_.size() && (used[m] || made_[m].ip != targets[i].ip || made_[m].mac != targets[i].mac)) ++m;
        if (m == made_.size()) {
            // Not probed before its packet: watched all the same.
            ProbeBeforeSend(targets[i].ip, targets[i].mac);
            used.push_back(false);
        }
        used[m] = true;
        *made_[m].slot = i;
        watches.push_back(made_[m].watch);
    }
    for (std::size_t i = 0; i < targets.size(); ++i) watches[i]->Start(targets[i].sent_ms, end_ms);
    // Every watch reports by its end; the grace only guards against an engine that stopped.
    const auto give_up = std::chrono::steady_clock::now() +
                         std::chrono::milliseconds(std::max<std::int64_t>(0, end_ms - MonotonicMs())) + kWatchGrace;
    std::size_t pending = targets.size();
    while (pending > 0 && std::chrono::steady_clock::now() < give_up) {
        if (stop_asked()) break;
        std::pair<std::size_t, WakeSighting> next;
        {
            std::unique_lock<std::mutex> lock(reports_->mutex);
            if (!reports_->arrived.wait_for(lock, std::chrono::milliseconds(50),
                                            [&] { return !reports_->queue.empty(); })) {
                continue;
            }
            next = reports_->queue.front();
            reports_->queue.pop_front();
        }
        --pending;
        verdict(next.first, next.second);
    }
    for (const auto& watch : watches) watch->Cancel();
}
