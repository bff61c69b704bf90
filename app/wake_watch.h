#pragma once
// The watch of one wake, over the probe engine: what it probes and when, and what it
// gathers for the report (wake_report.h). Every step is an engine order, so nothing
// here blocks the engine's thread longer than an ARP table read.
//
//   before the packet   one probe of the address, 500 ms, as Check probes it; the packet
//                       does not wait for it. Its ARP row is kept apart from the rows
//                       of the answers after the packet.
//   from the schedule   the watch of the address; an answer reads the address's ARP row
//                       when it lies on a LAN of this PC (which device answered)
//   15 s before the end when the woken MAC has not been seen at the address (silence, or
//   (60 s after the     another device), a sweep of that LAN (lan_sweep.h) and a look for
//   send at the         the woken MAC in the ARP table; an address found there is probed,
//   earliest)           and when it answers it is the PC's new address, remembered with
//                       its MAC. The address is still watched until the end meanwhile.
//                       A watch that ends too soon for the whole sweep has none.
//
// Written over WakeWatchNetwork so that a native test can play every path with a fake
// engine; wake_watch-win32.h gives the process's engine, the IP helper and the registry.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/wake_command.h"  // WatchSchedule
#include "app/wake_report.h"
#include "cache/settings.h"
#include "net/arp_sources.h"
#include "net/lan_sweep.h"
#include "net/probe_engine.h"

/// The probe before the packet: one attempt of this long.
constexpr std::int32_t kProbeBeforeSendMs = 500;
/// The sweep starts this long before the watch ends...
constexpr std::int32_t kSweepLeadMs = 15000;
/// ...but never sooner than this after the send: no PC has booted by then, and a sweep
/// before it would ask a whole LAN for nothing.
constexpr std::int32_t kSweepEarliestMs = 60000;

/// How long a sweep of `count` addresses at kSweepPace lasts, from its first echo
/// request to the end of its last one's wait.
std::int64_t SweepSpanMs(std::size_t count);

/// What a watch needs of this computer. Submit and Cancel as the engine's; `done` of an
/// order never runs inside Submit.
class WakeWatchNetwork {
public:
    virtual ~WakeWatchNetwork() = default;
    /// 0 when the engine takes no order (it has stopped, or never ran).
    virtual ProbeTicket Submit(ProbeOrder order) = 0;
    virtual void Cancel(ProbeTicket ticket) = 0;
    /// The engine's clock.
    virtual std::int64_t NowMs() = 0;
    virtual std::vector<ArpRow> ReadArpRows() = 0;
    virtual std::vector<LocalIpv4Address> LocalAddresses() = 0;
    /// Remembers `mac` for `ip` in the address cache; true when it was written, else
    /// false with the system's reason in `reason` when it is known.
    virtual bool Remember(const std::string& ip, const std::string& mac, std::string& reason) = 0;
};

/// One sweep of one LAN: an echo-only order for each address, paced by kSweepPace.
class LanSweep : public std::enable_shared_from_this<LanSweep> {
public:
    using Finished = std::function<void(const std::vector<Ipv4Bytes>& answered)>;
    /// Submits the orders, the first at `start_ms`, each of one attempt that may wait
    /// for its place in the engine until `end_ms` (the watch's end), and none past it.
    static std::shared_ptr<LanSweep> Start(WakeWatchNetwork& network, const std::vector<Ipv4Bytes>& addresses,
                                           std::int64_t start_ms, std::int64_t end_ms);
    /// `finished` gets the addresses that answered, once every order has ended: at once
    /// (on this thread) when they have, else on the engine's thread. Never once the
    /// engine has stopped.
    void WhenFinished(Finished finished);
    /// True while an order of it has not ended (and the engine has not stopped).
    bool Running();

private:
    LanSweep() = default;
    void Ended(const Ipv4Bytes& address, const ProbeOutcome& outcome);
    std::mutex mutex_;
    std::size_t pending_ = 0;
    bool cancelled_ = false;
    std::vector<Ipv4Bytes> answered_;
    std::vector<Finished> waiting_;
};

/// The sweeps of a run (a /list) or of the dialog's wakes: one sweep of a LAN at a
/// time, shared by every watch that needs it while it runs. Lives as long as the
/// watches that use it.
class LanSweeps {
public:
    /// The sweep of `lan` that is running; else one started now for `addresses` until
    /// `end_ms`. A finished sweep is never handed out again: what it saw is old.
    std::shared_ptr<LanSweep> For(WakeWatchNetwork& network, const LocalIpv4Address& lan,
                                  const std::vector<Ipv4Bytes>& addresses, std::int64_t end_ms);

private:
    std::mutex mutex_;
    // By network address and mask. Vectors rather than maps here: a handful of entries,
    // and the shipped exe has a size bound.
    std::vector<std::pair<LocalIpv4Address, std::shared_ptr<LanSweep>>> sweeps_;
};

/// What the NoSweep setting says: a value of 1 turns the sweep off; given by an
/// administrator's policy, no option turns it on again.
enum class SweepSetting { kOn, kOff, kOffByPolicy };

/// The sweep setting of the NoSweep value found (ReadSetting), or kOn when none was.
SweepSetting SweepSettingOf(const std::optional<SettingValue>& no_sweep);

struct WakeWatchPlan {
    WatchSchedule schedule;  // from the send
    /// The sweep may run (the user has not turned it off).
    bool sweep = true;
    /// No sweep starts sooner after the send (a test of the sweep itself may not wait).
    std::int32_t sweep_earliest_ms = kSweepEarliestMs;
};

class WakeWatch {
public:
    using Done = std::function<void(const WakeSighting& seen)>;
    /// A watch of `ip` (an address or a machine's name) for the woken `mac` (a valid MAC
    /// text). `done` runs once, on the engine's thread, when the watch ends; never once
    /// the engine has stopped (it cancelled an order, or took none). `network` and `sweeps` outlive the watch's orders.
    static std::shared_ptr<WakeWatch> Create(WakeWatchNetwork& network, std::shared_ptr<LanSweeps> sweeps,
                                             const std::string& ip, const std::string& mac, const WakeWatchPlan& plan,
                                             Done done);
    /// Submits the probe before the packet and returns at once.
    void ProbeBeforeSend();
    /// The packet left at `sent_ms`: the watch runs from there, to the schedule's end or
    /// to `end_ms` when given.
    void Start(std::int64_t sent_ms, std::optional<std::int64_t> end_ms = std::nullopt);
    /// Lets every order go; nothing is reported.
    void Cancel();
    /// Adds a pair the wake could not remember to what the watch reports.
    void NotRemembered(const PairNotRemembered& pair);

private:
    WakeWatch(WakeWatchNetwork& network, std::shared_ptr<LanSweeps> sweeps, const std::string& ip,
              const std::string& mac, const WakeWatchPlan& plan, Done done);
    using Step = void (WakeWatch::*)(const ProbeOutcome&);
    ProbeOrder Probe(const std::string& host, HostReading reading, std::int64_t first_ms, std::int64_t end_ms,
                     int attempts) const;
    /// Submits `order`, whose end goes to `step` unless the watch has decided by then.
    ProbeTicket Order(ProbeOrder order, Step step);
    void Before(const ProbeOutcome& outcome);
    void Watched(const ProbeOutcome& outcome);
    void SweepDue(const ProbeOutcome& outcome);
    void LateWatched(const ProbeOutcome& outcome);
    void Confirmed(const ProbeOutcome& outcome);
    bool Heard(const ProbeOutcome& outcome);
    void NoteServed(const ProbeOutcome& outcome);
    std::optional<MacBytes> RowOfAnswer(const ProbeOutcome& outcome);
    bool OtherDeviceSeen() const;
    void Remember(const Ipv4Bytes& address);
    void StartSweep();
    void Swept(const std::vector<Ipv4Bytes>& answered);
    void FoundAt(const Ipv4Bytes& address);
    void Decide();
    void ReportWhenDone();

    std::recursive_mutex mutex_;
    std::weak_ptr<WakeWatch> self_;
    WakeWatchNetwork& network_;
    std::shared_ptr<LanSweeps> sweeps_;
    const std::string ip_;
    const std::string mac_;
    const WakeWatchPlan plan_;
    Done done_;
    std::optional<Ipv4Bytes> address_;        // what the IP text reads as
    std::vector<LocalIpv4Address> locals_;
    std::optional<LocalIpv4Address> lan_;     // the LAN of this PC it lies on
    std::vector<Ipv4Bytes> sweep_addresses_;  // empty: no sweep
    std::vector<ProbeTicket> tickets_;        // the orders not ended
    std::vector<ProbeTicket> let_go_;         // cancelled by Decide or Cancel, not ended yet
    ProbeTicket before_ticket_ = 0;
    std::int64_t end_ms_ = 0;
    std::int64_t sweep_at_ms_ = 0;  // when the sweep is due
    bool started_ = false;
    bool before_pending_ = false;
    bool sweep_pending_ = false;
    bool decided_ = false;
    bool reported_ = false;
    bool stopped_ = false;  // the engine cancelled an order: nobody is left to tell
    bool asked_ = false;    // an order of the address after the packet was served
    bool unserved_ = false; // one was not
    Ipv4Bytes confirming_{};
    WakeSighting seen_;
};
