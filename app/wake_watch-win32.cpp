#include "app/wake_watch-win32.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

#include "app/probe_commands-win32.h"  // kCommandAttemptMs
#include "cache/registry_cache-win32.h"
#include "common/monotonic_clock-win32.h"
#include "net/adapter_list-win32.h"
#include "net/arp_sources-win32.h"
#include "net/probe_engine-win32.h"

namespace {

class SystemNetwork final : public WakeWatchNetwork {
public:
    ProbeTicket Submit(ProbeOrder order) override {
        ProbeEngine* engine = ProcessProbeEngine();
        return engine != nullptr ? engine->Submit(std::move(order)) : 0;
    }
    void Cancel(ProbeTicket ticket) override {
        if (ProbeEngine* engine = ProcessProbeEngine()) engine->Cancel(ticket);
    }
    std::int64_t NowMs() override { return MonotonicMs(); }
    std::vector<ArpRow> ReadArpRows() override { return IpHelperArpTable().ReadRows(); }
    std::vector<LocalIpv4Address> LocalAddresses() override { return ReadLocalIpv4Addresses(); }
    void Remember(const std::string& ip, const std::string& mac) override { WriteCacheValue(ip, mac); }
};

// Time the command line's watch is given beyond its end before it stops waiting: the
// engine reports every watch by then, unless it was stopped.
constexpr auto kWatchGrace = std::chrono::seconds(10);

}  // namespace

WakeWatchNetwork& SystemWatchNetwork() {
    static SystemNetwork network;
    return network;
}

bool SweepTurnedOff() { return ReadSettingDword("NoSweep").value_or(0) == 1; }

std::optional<WakeSighting> WatchWakeOnThisPc(const std::string& ip, const std::string& mac, std::int64_t timeout_ms,
                                              bool sweep, const std::function<bool()>& send) {
    struct Ending {
        std::mutex mutex;
        std::condition_variable ended;
        std::optional<WakeSighting> seen;
    };
    const auto ending = std::make_shared<Ending>();
    const WakeWatchPlan plan{WatchSchedule{0, 0, kCommandAttemptMs, static_cast<int>(timeout_ms)}, sweep};
    const auto watch = WakeWatch::Create(SystemWatchNetwork(), std::make_shared<LanSweeps>(), ip, mac, plan,
                                         [ending](const WakeSighting& seen) {
                                             const std::lock_guard<std::mutex> lock(ending->mutex);
                                             ending->seen = seen;
                                             ending->ended.notify_all();
                                         });
    // Without an engine nothing is probed, and nothing would ever be reported.
    if (ProcessProbeEngine() == nullptr) return send() ? std::optional<WakeSighting>(WakeSighting{}) : std::nullopt;
    watch->ProbeBeforeSend();
    if (!send()) return std::nullopt;
    watch->Start(MonotonicMs());
    std::unique_lock<std::mutex> lock(ending->mutex);
    ending->ended.wait_for(lock, std::chrono::milliseconds(timeout_ms) + kWatchGrace,
                           [&] { return ending->seen.has_value(); });
    return ending->seen.value_or(WakeSighting{});
}
