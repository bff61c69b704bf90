#pragma once
// The wake watch on this computer: the process's probe engine, the IP helper's ARP
// table and adapter addresses, the registry cache, and the NoSweep setting.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "app/wake_watch.h"

/// The watches' network on this computer: probes through `engine`, the IP helper's ARP
/// table and adapter addresses, the registry cache.
class ThisPcWatchNetwork : public WakeWatchNetwork {
public:
    /// nullptr: the process's engine (ProcessProbeEngine), started on first use.
    explicit ThisPcWatchNetwork(ProbeEngine* engine = nullptr) : engine_(engine) {}
    ProbeTicket Submit(ProbeOrder order) override;
    void Cancel(ProbeTicket ticket) override;
    /// MonotonicMs, the engine's clock.
    std::int64_t NowMs() override;
    std::vector<ArpRow> ReadArpRows() override;
    std::vector<LocalIpv4Address> LocalAddresses() override;
    /// WriteCacheValue.
    bool Remember(const std::string& ip, const std::string& mac, std::string& reason) override;

private:
    ProbeEngine* Engine() const;
    ProbeEngine* const engine_;
};

/// The watches' network over the process's engine; lives as long as the process.
WakeWatchNetwork& SystemWatchNetwork();

/// The sweeps of the dialog's wakes, one set for the process: two wakes of one LAN a
/// few seconds apart share the sweep that runs.
std::shared_ptr<LanSweeps> ProcessLanSweeps();

/// The NoSweep setting, from the policy key first (ReadSetting). Off: the dialog never
/// sweeps, nor the command line unless /sweep asks for it, which a policy overrules.
SweepSetting SweepSettingOnThisPc();

/// `network` with this PC's addresses read at the first LocalAddresses and given again to
/// every later call: a list's hundreds of watches read the adapters once.
class AdaptersReadOnce final : public WakeWatchNetwork {
public:
    explicit AdaptersReadOnce(WakeWatchNetwork& network) : network_(network) {}
    ProbeTicket Submit(ProbeOrder order) override { return network_.Submit(std::move(order)); }
    void Cancel(ProbeTicket ticket) override { network_.Cancel(ticket); }
    std::int64_t NowMs() override { return network_.NowMs(); }
    std::vector<ArpRow> ReadArpRows() override { return network_.ReadArpRows(); }
    std::vector<LocalIpv4Address> LocalAddresses() override;
    bool Remember(const std::string& ip, const std::string& mac, std::string& reason) override {
        return network_.Remember(ip, mac, reason);
    }

private:
    WakeWatchNetwork& network_;
    std::mutex mutex_;
    std::optional<std::vector<LocalIpv4Address>> locals_;
};

/// The watches of one /list run: one for each PC with an IP, made at the probe before its
/// packet; one sweep per LAN for all of them; this PC's addresses read once for all.
class ListWatches {
public:
    /// `network` outlives every watch's orders.
    explicit ListWatches(bool sweep, WakeWatchNetwork& network = SystemWatchNetwork())
        : sweep_(sweep), network_(std::make_shared<AdaptersReadOnce>(network)) {}
    /// Makes the watch of `ip` for `mac` and probes the address once, not waiting.
    void ProbeBeforeSend(const std::string& ip, const std::string& mac);
    /// WatchAllFunction: starts the watch made for each target's IP and MAC (one made
    /// now for a target without), to `end_ms`, and returns when every one has reported,
    /// or when `stop_asked` says so (asked at least every 50 ms): the rest are let go.
    void WatchAll(const std::vector<WatchTarget>& targets, std::int64_t end_ms, const WatchVerdict& verdict,
                  const std::function<bool()>& stop_asked);

private:
    struct Made {
        std::string ip, mac;
        std::shared_ptr<WakeWatch> watch;
        std::shared_ptr<std::size_t> slot;  // the target it watches, once known
    };
    std::shared_ptr<WakeWatch> Create(const std::string& ip, const std::string& mac, WakeWatch::Done done);
    bool sweep_;
    // Held by every watch's report too: a watch may outlive this object.
    std::shared_ptr<AdaptersReadOnce> network_;
    std::shared_ptr<LanSweeps> sweeps_ = std::make_shared<LanSweeps>();
    std::vector<Made> made_;
    // What the engine's thread hands to the watching one; shared, so that a report that
    // comes after WatchAll has returned finds it still there.
    struct Reports;
    std::shared_ptr<Reports> reports_;
};

/// WakeWatchFunction on this computer: /wake /wait.
std::optional<WakeSighting> WatchWakeOnThisPc(const std::string& ip, const std::string& mac, std::int64_t timeout_ms,
                                              bool sweep, const std::function<bool()>& send);
