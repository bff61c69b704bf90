#include "app/wake_watch.h"

#include <algorithm>
#include <utility>

#include "net/magic_packet.h"

namespace {

template <typename T>
bool Contains(const std::vector<T>& items, const T& item) {
    return std::find(items.begin(), items.end(), item) != items.end();
}

// Removes `item`; true when it was there.
template <typename T>
bool Remove(std::vector<T>& items, const T& item) {
    const auto found = std::find(items.begin(), items.end(), item);
    if (found == items.end()) return false;
    items.erase(found);
    return true;
}

// The six bytes the magic packet repeats: the MAC exactly as it was woken.
MacBytes MacOfText(const std::string& mac) {
    const std::vector<std::uint8_t> packet = BuildMagicPacket(mac, "");
    MacBytes bytes{};
    std::copy(packet.begin() + 6, packet.begin() + 12, bytes.begin());
    return bytes;
}

}  // namespace

std::int64_t SweepSpanMs(std::size_t count) {
    if (count == 0) return 0;
    return SweepStartMs(count - 1, 0, kSweepPace) + kSweepPace.attempt_ms;
}

std::shared_ptr<LanSweep> LanSweep::Start(WakeWatchNetwork& network, const std::vector<Ipv4Bytes>& addresses,
                                          std::int64_t start_ms, std::int64_t end_ms) {
    std::shared_ptr<LanSweep> sweep(new LanSweep());
    const std::lock_guard<std::mutex> lock(sweep->mutex_);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        ProbeOrder order;
        order.host = FormatIpv4(addresses[i]);
        order.reading = HostReading::kAddressOnly;
        order.first_ms = SweepStartMs(i, start_ms, kSweepPace);
        // One attempt, which may wait for a place in the engine until the watch's end: a
        // window of one attempt's length would drop the requests of a busy engine (the
        // sweeps of two LANs at once, a long list's watches) unasked.
        order.end_ms = end_ms;
        order.attempt_ms = kSweepPace.attempt_ms;
        order.attempts = 1;
        order.echo_only = true;
        order.done = [sweep, address = addresses[i]](const ProbeOutcome& outcome) { sweep->Ended(address, outcome); };
        if (network.Submit(std::move(order)) != 0) ++sweep->pending_;
    }
    return sweep;
}

void LanSweep::WhenFinished(Finished finished) {
    std::vector<Ipv4Bytes> answered;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (cancelled_) return;
        if (pending_ > 0) {
            waiting_.push_back(std::move(finished));
            return;
        }
        answered = answered_;
    }
    finished(answered);
}

bool LanSweep::Running() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return pending_ > 0 && !cancelled_;
}

void LanSweep::Ended(const Ipv4Bytes& address, const ProbeOutcome& outcome) {
    std::vector<Finished> waiting;
    std::vector<Ipv4Bytes> answered;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (outcome.verdict == ProbeVerdict::kCancelled) cancelled_ = true;
        if (outcome.verdict == ProbeVerdict::kAnswered) answered_.push_back(address);
        --pending_;
        // Once cancelled the watches are let go, and with them what they hold of this sweep.
        if (pending_ > 0 && !cancelled_) return;
        waiting.swap(waiting_);
        if (cancelled_) waiting.clear();
        answered = answered_;
    }
    // Outside the lock: a watch told here may ask this sweep again.
    for (const Finished& finished : waiting) finished(answered);
}

std::shared_ptr<LanSweep> LanSweeps::For(WakeWatchNetwork& network, const LocalIpv4Address& lan,
                                         const std::vector<Ipv4Bytes>& addresses, std::int64_t end_ms) {
    // A LAN is its network and its mask: 10.0.0.0/24 and 10.0.0.0/25 are two LANs.
    LocalIpv4Address key = lan;
    for (std::size_t i = 0; i < lan.address.size(); ++i) {
        key.address[i] = static_cast<std::uint8_t>(lan.address[i] & lan.mask[i]);
    }
    const std::lock_guard<std::mutex> lock(mutex_);
    for (auto& [lan_address, sweep] : sweeps_) {
        if (lan_address.address != key.address || lan_address.mask != key.mask) continue;
        // Two sweeps of one LAN at once would ask every address twice; a finished one
        // saw the LAN as it was before this PC had time to come up.
        if (!sweep->Running()) sweep = LanSweep::Start(network, addresses, network.NowMs(), end_ms);
        return sweep;
    }
    sweeps_.emplace_back(key, LanSweep::Start(network, addresses, network.NowMs(), end_ms));
    return sweeps_.back().second;
}

std::shared_ptr<WakeWatch> WakeWatch::Create(WakeWatchNetwork& network, std::shared_ptr<LanSweeps> sweeps,
                                             const std::string& ip, const std::string& mac, const WakeWatchPlan& plan,
                                             Done done) {
    std::shared_ptr<WakeWatch> watch(new WakeWatch(network, std::move(sweeps), ip, mac, plan, std::move(done)));
    watch->self_ = watch;
    return watch;
}

WakeWatch::WakeWatch(WakeWatchNetwork& network, std::shared_ptr<LanSweeps> sweeps, const std::string& ip,
                     const std::string& mac, const WakeWatchPlan& plan, Done done)
    : network_(network), sweeps_(std::move(sweeps)), ip_(ip), mac_(mac), plan_(plan), done_(std::move(done)) {
    seen_.woken = MacOfText(mac);
    // A machine's name is watched too, but says nothing about a LAN or an ARP row.
    address_ = ReadIpv4Octets(ip);
    if (!address_) return;
    locals_ = network_.LocalAddresses();
    lan_ = LanOf(*address_, locals_);
    if (lan_ && plan_.sweep && sweeps_) sweep_addresses_ = SweepAddresses(*lan_, *address_, locals_);
}

ProbeOrder WakeWatch::Probe(const std::string& host, HostReading reading, std::int64_t first_ms,
                            std::int64_t end_ms, int attempts) const {
    ProbeOrder order;
    order.host = host;
    order.reading = reading;
    order.first_ms = first_ms;
    order.end_ms = end_ms;
    order.attempt_ms = plan_.schedule.probe_ms;
    order.attempts = attempts;
    return order;
}

ProbeTicket WakeWatch::Order(ProbeOrder order, Step step) {
    // The ticket is known only once Submit returns; `done` waits for the lock till then.
    auto ticket = std::make_shared<ProbeTicket>(0);
    order.done = [self = self_.lock(), step, ticket](const ProbeOutcome& outcome) {
        const std::lock_guard<std::recursive_mutex> lock(self->mutex_);
        Remove(self->tickets_, *ticket);
        if (outcome.verdict == ProbeVerdict::kCancelled) {
            // Not let go by Decide: the engine has stopped, the program is ending.
            if (!Remove(self->let_go_, *ticket)) self->stopped_ = true;
        } else if (!self->decided_ || step == &WakeWatch::Before) {
            (self.get()->*step)(outcome);
        }
        self->ReportWhenDone();
    };
    *ticket = network_.Submit(std::move(order));
    if (*ticket != 0) {
        tickets_.push_back(*ticket);
    } else {
        stopped_ = true;  // an engine that takes nothing has stopped: the program is ending
    }
    return *ticket;
}

void WakeWatch::ProbeBeforeSend() {
    const std::lock_guard<std::recursive_mutex> lock(mutex_);
    const std::int64_t now = network_.NowMs();
    ProbeOrder order = Probe(ip_, HostReading::kAddressOnly, now, now + kProbeBeforeSendMs, 1);
    order.attempt_ms = kProbeBeforeSendMs;  // as Check probes
    order.order_class = OrderClass::kInteractive;  // the packet waits for nobody, but its verdict does
    before_ticket_ = Order(std::move(order), &WakeWatch::Before);
    before_pending_ = before_ticket_ != 0;
}

void WakeWatch::Start(std::int64_t sent_ms, std::optional<std::int64_t> end_ms) {
    const std::lock_guard<std::recursive_mutex> lock(mutex_);
    started_ = true;
    WatchSchedule schedule = plan_.schedule;
    if (end_ms) schedule.end_ms = static_cast<int>(*end_ms - sent_ms);
    end_ms_ = sent_ms + schedule.end_ms;
    const std::int64_t earliest = std::max<std::int64_t>(schedule.wait_ms, plan_.sweep_earliest_ms);
    sweep_at_ms_ = std::max(sent_ms + earliest, end_ms_ - kSweepLeadMs);
    if (!sweep_addresses_.empty()) {
        const std::int64_t span = SweepSpanMs(sweep_addresses_.size());
        if (sweep_at_ms_ + span > end_ms_) {
            // A sweep cut short would leave most of the LAN unasked: none at all, and
            // the report can say what it would need.
            seen_.sweep_needs_s = static_cast<int>((earliest + span + 999) / 1000);
            sweep_addresses_.clear();
        }
    }
    // With a LAN to sweep, the first watch stops where the sweep is due.
    const std::int64_t watch_end = sweep_addresses_.empty() ? end_ms_ : sweep_at_ms_;
    ProbeOrder order = WatchOrder(ip_, schedule, sent_ms, nullptr);
    order.end_ms = watch_end;
    Order(std::move(order), &WakeWatch::Watched);
}

std::optional<MacBytes> WakeWatch::RowOfAnswer(const ProbeOutcome& outcome) {
    if (!address_) address_ = outcome.address;
    // Only on a LAN of this PC does the row name the device that answered; elsewhere it
    // would be the router's.
    if (!lan_) return std::nullopt;
    return ArpMacOf(network_.ReadArpRows(), *address_);
}

void WakeWatch::NoteServed(const ProbeOutcome& outcome) {
    if (outcome.verdict == ProbeVerdict::kUnserved) {
        unserved_ = true;
    } else {
        asked_ = true;
    }
}

bool WakeWatch::Heard(const ProbeOutcome& outcome) {
    NoteServed(outcome);
    if (outcome.verdict != ProbeVerdict::kAnswered) return false;
    seen_.answered_ms = outcome.answered_ms;
    seen_.how = outcome.how;
    seen_.port = outcome.port;
    if (const std::optional<MacBytes> mac = RowOfAnswer(outcome)) seen_.mac_at_address = mac;
    return true;
}

bool WakeWatch::OtherDeviceSeen() const { return seen_.mac_at_address && *seen_.mac_at_address != seen_.woken; }

void WakeWatch::Before(const ProbeOutcome& outcome) {
    before_pending_ = false;
    // It may end after the first answers of the watch: it only ever adds its own row.
    if (outcome.verdict != ProbeVerdict::kAnswered) return;
    seen_.on_before = true;
    seen_.mac_before = RowOfAnswer(outcome);
}

void WakeWatch::Watched(const ProbeOutcome& outcome) {
    if (Heard(outcome)) {
        seen_.answered = true;
        if (!OtherDeviceSeen() || sweep_addresses_.empty()) {
            Decide();
            return;
        }
        // Another device has the address; the PC may come up elsewhere. Asked again when
        // the sweep is due, which also starts it.
        const std::int64_t due = std::max(network_.NowMs(), sweep_at_ms_);
        Order(Probe(ip_, HostReading::kAddressOnly, due, end_ms_, 1), &WakeWatch::SweepDue);
        return;
    }
    if (sweep_addresses_.empty()) return;
    StartSweep();
    // Still watched to the end meanwhile.
    Order(Probe(ip_, HostReading::kAddressOrName, network_.NowMs(), end_ms_, 0), &WakeWatch::LateWatched);
}

void WakeWatch::SweepDue(const ProbeOutcome& outcome) {
    if (Heard(outcome) && !OtherDeviceSeen()) {
        Decide();
        return;
    }
    StartSweep();
}

void WakeWatch::LateWatched(const ProbeOutcome& outcome) {
    if (Heard(outcome)) {
        seen_.answered = true;
        if (!OtherDeviceSeen()) Decide();
    }
}

void WakeWatch::StartSweep() {
    // The table may know the MAC already; then there is nothing to sweep for.
    if (const std::optional<Ipv4Bytes> found = ArpAddressOf(network_.ReadArpRows(), seen_.woken, *lan_, *address_)) {
        FoundAt(*found);
        return;
    }
    sweep_pending_ = true;
    const std::shared_ptr<LanSweep> sweep = sweeps_->For(network_, *lan_, sweep_addresses_, end_ms_);
    sweep->WhenFinished([self = self_.lock()](const std::vector<Ipv4Bytes>& answered) {
        const std::lock_guard<std::recursive_mutex> lock(self->mutex_);
        self->Swept(answered);
        self->ReportWhenDone();
    });
}

void WakeWatch::Swept(const std::vector<Ipv4Bytes>& answered) {
    sweep_pending_ = false;
    if (decided_) return;
    const std::optional<Ipv4Bytes> found = ArpAddressOf(network_.ReadArpRows(), seen_.woken, *lan_, *address_);
    if (!found) return;
    if (Contains(answered, *found)) {
        seen_.new_address = found;
        Remember(*found);
        Decide();
        return;
    }
    FoundAt(*found);
}

void WakeWatch::FoundAt(const Ipv4Bytes& address) {
    // A row can outlive its machine's stay at that address: it counts once the address answers.
    confirming_ = address;
    Order(Probe(FormatIpv4(address), HostReading::kAddressOnly, network_.NowMs(), end_ms_, 0), &WakeWatch::Confirmed);
}

void WakeWatch::Confirmed(const ProbeOutcome& outcome) {
    if (outcome.verdict != ProbeVerdict::kAnswered || decided_) return;
    seen_.new_address = confirming_;
    Remember(confirming_);
    Decide();
}

void WakeWatch::Remember(const Ipv4Bytes& address) {
    const std::string ip = FormatIpv4(address);
    if (std::string reason; !network_.Remember(ip, mac_, reason)) {
        seen_.not_remembered.push_back(PairNotRemembered{ip, mac_, reason});
    }
}

void WakeWatch::Decide() {
    decided_ = true;
    // Nothing more to learn: what still probes is let go (its `done` comes as cancelled),
    // but for the probe before the packet, which ends within its 500 ms anyway.
    for (const ProbeTicket ticket : tickets_) {
        if (ticket == before_ticket_ || Contains(let_go_, ticket)) continue;
        let_go_.push_back(ticket);
        network_.Cancel(ticket);
    }
}

void WakeWatch::ReportWhenDone() {
    if (reported_ || stopped_ || !started_ || before_pending_) return;
    if (!decided_ && (!tickets_.empty() || sweep_pending_)) return;
    reported_ = true;
    if (!seen_.address && address_) seen_.address = address_;
    seen_.not_asked = unserved_ && !asked_;
    if (done_) done_(seen_);
}

void WakeWatch::NotRemembered(const PairNotRemembered& pair) {
    const std::lock_guard<std::recursive_mutex> lock(mutex_);
    seen_.not_remembered.push_back(pair);
}

void WakeWatch::Cancel() {
    const std::lock_guard<std::recursive_mutex> lock(mutex_);
    stopped_ = true;
    for (const ProbeTicket ticket : tickets_) {
        if (Contains(let_go_, ticket)) continue;
        let_go_.push_back(ticket);
        network_.Cancel(ticket);
    }
}

SweepSetting SweepSettingOf(const std::optional<SettingValue>& no_sweep) {
    if (!no_sweep || no_sweep->value != 1) return SweepSetting::kOn;
    return no_sweep->by_policy ? SweepSetting::kOffByPolicy : SweepSetting::kOff;
}
