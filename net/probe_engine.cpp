#include "net/probe_engine.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <tuple>
#include <utility>

#include "addr/ip_text.h"

bool ConnectionEvidence::Counts(bool control_connected, bool service_connected) {
    if (control_connected) control_connected_ = true;
    return service_connected && !control_connected_;
}

namespace {

constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::min();

// The connections an attempt opens: the control and the service ports.
constexpr int kConnectionsPerAttempt = 1 + static_cast<int>(kServicePorts.size());

}  // namespace

// The io ids an attempt still holds; 0 where it holds none. A connection's id goes as
// soon as the io reports it (the io has closed it then), an IP helper request's once
// the engine has closed it after its outcome.
struct ProbeEngine::Attempt {
    std::int64_t end_ms = 0;
    Ipv4Bytes to{};
    std::uint32_t value = 0;
    IoId api_echo = 0;
    std::int64_t connect_at_ms = 0;  // its connections open then, room given
    bool wants_connections = false;  // not opened yet
    bool holds_place = false;        // counted in connecting_
    IoId control = 0;
    std::vector<std::pair<IoId, std::uint16_t>> services;  // with their ports
    ConnectionEvidence evidence;
};

struct ProbeEngine::Entry {
    ProbeOrder order;
    ProbeOutcome outcome;
    std::int64_t due_ms = 0;  // while waiting: no attempt starts before it
    std::int64_t connections_ms = kNever;  // when its attempt last opened connections
    int attempts_made = 0;
    bool has_address = false;  // outcome.address holds it; a name is looked up once
    IoId lookup = 0;           // running
    std::unique_ptr<Attempt> attempt;

    bool Interactive() const { return order.order_class == OrderClass::kInteractive; }
};

ProbeEngine::ProbeEngine(ProbeIo& io, int most_at_once, std::int32_t evidence_after_ms)
    : io_(io),
      most_at_once_(std::max(1, most_at_once)),
      reserve_(std::min(kInteractiveReserve, most_at_once_ / 4)),
      evidence_after_ms_(std::max(0, evidence_after_ms)) {}

ProbeEngine::~ProbeEngine() = default;

ProbeTicket ProbeEngine::Submit(ProbeOrder order) {
    ProbeTicket ticket;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) return 0;
        ticket = ++last_ticket_;
        submitted_.emplace_back(ticket, std::move(order));
    }
    io_.Wake();
    return ticket;
}

void ProbeEngine::Cancel(ProbeTicket ticket) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopped_) return;  // Stop cancels it anyway
        cancelled_.push_back(ticket);
    }
    io_.Wake();
}

void ProbeEngine::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
    }
    io_.Wake();
}

bool ProbeEngine::IsStopped() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stopped_;
}

void ProbeEngine::Run() {
    // A generous bound on every wait, so that an odd clock never puts the thread to
    // sleep for long; deadlines and Wake end waits sooner.
    constexpr int kLongestWaitMs = 1000;
    while (Turn(kLongestWaitMs)) {
    }
}

bool ProbeEngine::Turn(int most_wait_ms) {
    if (ended_) return false;
    TakeInRequests();
    if (stop_seen_) {
        EndEverything();
        return false;
    }
    const std::int64_t now = io_.NowMs();
    ExpireAttempts(now);
    StartLookups(now);
    StartDue(now);
    OpenConnections(now);
    IoEvents events;
    io_.Wait(WaitMs(io_.NowMs(), most_wait_ms), events);
    Handle(events, io_.NowMs());
    return true;
}

void ProbeEngine::TakeInRequests() {
    std::vector<std::pair<ProbeTicket, ProbeOrder>> submitted;
    std::vector<ProbeTicket> cancelled;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        submitted.swap(submitted_);
        cancelled.swap(cancelled_);
        if (stopped_) stop_seen_ = true;
    }
    for (auto& [ticket, order] : submitted) {
        auto entry = std::make_unique<Entry>();
        entry->order = std::move(order);
        entry->due_ms = entry->order.first_ms;
        if (const std::optional<Ipv4Bytes> octets = ReadIpv4Octets(entry->order.host)) {
            entry->outcome.address = *octets;
            entry->has_address = true;
        }
        const ProbeOrder& o = entry->order;
        // Orders that can never send anything end at once: an empty window, an
        // attempt without time, or Check's text that is no address.
        const bool futile = o.first_ms >= o.end_ms || o.attempt_ms <= 0 ||
                            (o.reading == HostReading::kAddressOnly && !entry->has_address);
        entries_.emplace(ticket, std::move(entry));
        if (futile) {
            Finish(ticket, ProbeOutcome{});
        } else {
            waiting_.push_back(ticket);
        }
    }
    for (const ProbeTicket ticket : cancelled) {
        const auto found = entries_.find(ticket);
        if (found == entries_.end()) continue;  // ended already, or never ours
        Entry& entry = *found->second;
        if (entry.attempt) EndAttempt(entry);
        LetGoOfLookup(entry);
        waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), ticket), waiting_.end());
        ProbeOutcome outcome = entry.outcome;
        outcome.verdict = ProbeVerdict::kCancelled;
        Finish(ticket, outcome);
    }
}

std::vector<ProbeTicket> ProbeEngine::InLine(const std::vector<ProbeTicket>& tickets, bool by_connections) const {
    // Interactive first; then who has waited longest (for connections: who had them
    // longest ago); then who came first.
    std::vector<ProbeTicket> line = tickets;
    const auto key = [&](ProbeTicket t) {
        const Entry& e = *entries_.at(t);
        return std::make_tuple(!e.Interactive(), by_connections ? e.connections_ms : e.due_ms, t);
    };
    std::sort(line.begin(), line.end(), [&](ProbeTicket a, ProbeTicket b) { return key(a) < key(b); });
    return line;
}

void ProbeEngine::StartLookups(std::int64_t now) {
    std::vector<ProbeTicket> wanting;
    for (const ProbeTicket ticket : waiting_) {
        const Entry& entry = *entries_.at(ticket);
        if (!entry.has_address && entry.lookup == 0 && entry.due_ms <= now) wanting.push_back(ticket);
    }
    for (const ProbeTicket ticket : InLine(wanting, false)) {
        if (!io_.HasLookupRoom()) return;
        Entry& entry = *entries_.at(ticket);
        entry.lookup = io_.StartLookup(entry.order.host);
        if (entry.lookup != 0) {
            owners_[entry.lookup] = ticket;
        } else {
            waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
            Finish(ticket, entry.outcome);  // nothing to ask
        }
    }
}

bool ProbeEngine::HasEchoRoom(const Entry& entry) const {
    if (io_.HasRawSocket()) return true;
    const int room = io_.ApiEchoRoom();
    const int reserve = std::min(kInteractiveReserve, io_.MostApiEchoes() / 4);
    return room > (entry.Interactive() ? 0 : reserve);
}

bool ProbeEngine::HasConnectionRoom(const Entry& entry) const {
    if (connecting_ >= most_at_once_ - (entry.Interactive() ? 0 : reserve_)) return false;
    // A bound below one attempt's connections still lets one attempt at a time connect.
    return pending_connections_ == 0 ||
           pending_connections_ + kConnectionsPerAttempt <= io_.MostPendingConnections();
}

void ProbeEngine::StartDue(std::int64_t now) {
    std::vector<ProbeTicket> due;
    for (const ProbeTicket ticket : waiting_) {
        const Entry& entry = *entries_.at(ticket);
        if (entry.has_address && entry.due_ms <= now) due.push_back(ticket);
    }
    for (const ProbeTicket ticket : InLine(due, false)) {
        // In line: one that finds no room leaves none for those behind it.
        if (!HasEchoRoom(*entries_.at(ticket))) return;
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
        StartAttempt(ticket, now);
    }
}

void ProbeEngine::StartAttempt(ProbeTicket ticket, std::int64_t now) {
    Entry& entry = *entries_.at(ticket);
    ++entry.attempts_made;
    entry.attempt = std::make_unique<Attempt>();
    Attempt& attempt = *entry.attempt;
    const std::int64_t limit = std::min<std::int64_t>(entry.order.attempt_ms, entry.order.end_ms - now);
    attempt.end_ms = now + limit;
    attempt.to = entry.outcome.address;
    attempt.value = io_.NewProbeValue();
    const EchoRequest request = BuildEchoRequest(io_.TickCount(), attempt.value);
    // A failed send does not end the attempt: its connections may still answer. A raw
    // socket whose sends Windows refuses is gone after the send: this same echo goes
    // through the IP helper, as every later one.
    const bool raw_sent = io_.HasRawSocket() && io_.SendRawEcho(attempt.to, request);
    if (!raw_sent && !io_.HasRawSocket()) {
        const std::vector<std::uint8_t> payload(request.begin() + kIcmpHeaderSize, request.end());
        attempt.api_echo = io_.StartApiEcho(attempt.to, payload, static_cast<std::int32_t>(limit));
        if (attempt.api_echo != 0) owners_[attempt.api_echo] = ticket;
    }
    attempt.wants_connections = !entry.order.echo_only;
    attempt.connect_at_ms = now + evidence_after_ms_;
}

void ProbeEngine::OpenConnections(std::int64_t now) {
    std::vector<ProbeTicket> wanting;
    for (const auto& [ticket, entry] : entries_) {
        const Attempt* a = entry->attempt.get();
        if (a && a->wants_connections && a->connect_at_ms <= now) wanting.push_back(ticket);
    }
    for (const ProbeTicket ticket : InLine(wanting, true)) {
        Entry& entry = *entries_.at(ticket);
        if (!HasConnectionRoom(entry)) continue;  // an interactive one may still fit
        Attempt& attempt = *entry.attempt;
        attempt.wants_connections = false;
        entry.connections_ms = now;
        // The control goes first, so that a path that completes everything shows it no
        // later than the service connections; without it none of them could count.
        attempt.control = io_.Connect(attempt.to, kControlPort);
        if (attempt.control == 0) continue;
        owners_[attempt.control] = ticket;
        for (const std::uint16_t port : kServicePorts) {
            if (const IoId id = io_.Connect(attempt.to, port)) {
                attempt.services.emplace_back(id, port);
                owners_[id] = ticket;
            }
        }
        attempt.holds_place = true;
        ++connecting_;
        pending_connections_ += 1 + static_cast<int>(attempt.services.size());
    }
}

void ProbeEngine::ReleaseConnections(Entry& entry) {
    Attempt& attempt = *entry.attempt;
    if (attempt.holds_place && attempt.control == 0 && attempt.services.empty()) {
        attempt.holds_place = false;
        --connecting_;
    }
}

void ProbeEngine::EndAttempt(Entry& entry) {
    Attempt& attempt = *entry.attempt;
    auto close = [this](IoId id) {
        if (id == 0) return;
        owners_.erase(id);
        io_.Close(id);
    };
    close(attempt.api_echo);
    const int open = (attempt.control != 0 ? 1 : 0) + static_cast<int>(attempt.services.size());
    close(attempt.control);
    for (const auto& service : attempt.services) close(service.first);
    pending_connections_ -= open;
    if (attempt.holds_place) --connecting_;
    entry.attempt.reset();
}

void ProbeEngine::LetGoOfLookup(Entry& entry) {
    if (entry.lookup == 0) return;
    owners_.erase(entry.lookup);
    io_.Close(entry.lookup);
    entry.lookup = 0;
}

void ProbeEngine::Finish(ProbeTicket ticket, ProbeOutcome outcome) {
    const auto found = entries_.find(ticket);
    std::function<void(const ProbeOutcome&)> done = std::move(found->second->order.done);
    entries_.erase(found);
    // Last, with no state of the engine in the middle of a change: `done` may submit
    // or cancel orders.
    if (done) done(outcome);
}

void ProbeEngine::FinishUnanswered(ProbeTicket ticket) {
    Entry& entry = *entries_.at(ticket);
    ProbeOutcome outcome = entry.outcome;
    // Never asked: the engine cannot say the host is silent.
    if (entry.attempts_made == 0) outcome.verdict = ProbeVerdict::kUnserved;
    LetGoOfLookup(entry);
    Finish(ticket, outcome);
}

void ProbeEngine::Answer(ProbeTicket ticket, AnswerKind how, std::uint16_t port, std::int64_t now) {
    Entry& entry = *entries_.at(ticket);
    EndAttempt(entry);
    ProbeOutcome outcome = entry.outcome;
    outcome.verdict = ProbeVerdict::kAnswered;
    outcome.how = how;
    outcome.port = port;
    outcome.answered_ms = now;
    Finish(ticket, outcome);
}

void ProbeEngine::Handle(const IoEvents& events, std::int64_t now) {
    for (const IoEvents::Lookup& lookup : events.lookups) {
        const auto owner = owners_.find(lookup.id);
        if (owner == owners_.end()) continue;
        const ProbeTicket ticket = owner->second;
        owners_.erase(owner);
        Entry& entry = *entries_.at(ticket);
        entry.lookup = 0;
        if (lookup.found) {
            entry.outcome.address = lookup.address;
            entry.has_address = true;
        } else {
            // Remembered for the order: it is not looked up again, and has nothing to ask.
            waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
            Finish(ticket, entry.outcome);
        }
    }
    // What a wait saw counts for the attempts running when it began, even one whose
    // limit passed while it lasted. A raw socket sees every ICMP message reaching the
    // host: other pings, our own request on loopback, a router's "unreachable"; only an
    // attempt's own reply answers it. raw_failed needs nothing here: the io answers
    // HasRawSocket() false from then on, so later attempts go through the IP helper,
    // and the attempts running now still wait for their connections.
    for (const std::vector<std::uint8_t>& datagram : events.datagrams) {
        for (const auto& [ticket, entry] : entries_) {
            const Attempt* a = entry->attempt.get();
            if (a && IsOurEchoReply(datagram.data(), datagram.size(), a->to, a->value)) {
                Answer(ticket, AnswerKind::kEcho, 0, now);
                break;
            }
        }
    }
    for (const IoEvents::ApiEcho& echo : events.api_echoes) {
        const auto owner = owners_.find(echo.id);
        if (owner == owners_.end()) continue;
        const ProbeTicket ticket = owner->second;
        if (echo.answered) {
            Answer(ticket, AnswerKind::kEcho, 0, now);
        } else {
            // Its answer is in; letting go of it now frees its place in the io.
            owners_.erase(owner);
            io_.Close(echo.id);
            entries_.at(ticket)->attempt->api_echo = 0;
        }
    }
    // The connections of one wait are judged together per attempt: a control that
    // completed in the same wait as a service connection takes the service's weight away.
    struct Seen {
        bool control = false;
        std::uint16_t port = 0;  // the first service connection that completed
    };
    std::map<ProbeTicket, Seen> seen;
    for (const IoEvents::Connection& connection : events.connections) {
        const auto owner = owners_.find(connection.id);
        if (owner == owners_.end()) continue;
        const ProbeTicket ticket = owner->second;
        owners_.erase(owner);
        --pending_connections_;
        Attempt& attempt = *entries_.at(ticket)->attempt;
        const bool completed = connection.state == ConnectionState::kCompleted;
        Seen& s = seen[ticket];
        if (connection.id == attempt.control) {
            attempt.control = 0;
            s.control = s.control || completed;
            continue;
        }
        auto& services = attempt.services;
        const auto service = std::find_if(services.begin(), services.end(),
                                          [&](const auto& sv) { return sv.first == connection.id; });
        if (completed && s.port == 0) s.port = service->second;
        services.erase(service);
    }
    for (const auto& [ticket, s] : seen) {
        Entry& entry = *entries_.at(ticket);
        if (entry.attempt->evidence.Counts(s.control, s.port != 0)) {
            Answer(ticket, AnswerKind::kTcp, s.port, now);
        } else {
            ReleaseConnections(entry);  // its place goes to the next once all are in
        }
    }
}

void ProbeEngine::ExpireAttempts(std::int64_t now) {
    std::vector<ProbeTicket> ended;
    for (const auto& [ticket, entry] : entries_) {
        if (entry->attempt && entry->attempt->end_ms <= now) ended.push_back(ticket);
    }
    for (const ProbeTicket ticket : ended) {
        Entry& entry = *entries_.at(ticket);
        EndAttempt(entry);
        const int most = entry.order.attempts;
        if ((most <= 0 || entry.attempts_made < most) && now < entry.order.end_ms) {
            // Behind every order that waited meanwhile, due at once.
            entry.due_ms = now;
            waiting_.push_back(ticket);
        } else {
            Finish(ticket, entry.outcome);
        }
    }
    // No attempt starts at or after end_ms: an order still waiting then has run out.
    std::vector<ProbeTicket> late;
    for (const ProbeTicket ticket : waiting_) {
        if (entries_.at(ticket)->order.end_ms <= now) late.push_back(ticket);
    }
    for (const ProbeTicket ticket : late) {
        waiting_.erase(std::find(waiting_.begin(), waiting_.end(), ticket));
        FinishUnanswered(ticket);
    }
}

int ProbeEngine::WaitMs(std::int64_t now, int most_wait_ms) const {
    std::int64_t next = now + std::max(0, most_wait_ms);
    for (const auto& [ticket, entry] : entries_) {
        const Attempt* a = entry->attempt.get();
        if (!a) continue;
        next = std::min(next, a->end_ms);
        // One that has no room waits for the io: a connection reported, an attempt's end.
        if (a->wants_connections && HasConnectionRoom(*entry)) next = std::min(next, a->connect_at_ms);
    }
    // An order that is due but has no room to start waits for the io to make room: the
    // wait returns for that.
    for (const ProbeTicket ticket : waiting_) {
        const Entry& entry = *entries_.at(ticket);
        next = std::min(next, entry.order.end_ms);
        const bool may_start = entry.has_address ? HasEchoRoom(entry) : entry.lookup == 0 && io_.HasLookupRoom();
        if (may_start) next = std::min(next, entry.due_ms);
    }
    return static_cast<int>(std::max<std::int64_t>(0, next - now));
}

void ProbeEngine::EndEverything() {
    TakeInRequests();  // orders accepted before Stop end like the rest
    waiting_.clear();
    std::vector<ProbeTicket> tickets;
    for (const auto& [ticket, entry] : entries_) {
        if (entry->attempt) EndAttempt(*entry);
        LetGoOfLookup(*entry);
        tickets.push_back(ticket);
    }
    for (const ProbeTicket ticket : tickets) {
        ProbeOutcome outcome = entries_.at(ticket)->outcome;
        outcome.verdict = ProbeVerdict::kCancelled;
        Finish(ticket, outcome);
    }
    ended_ = true;
}

ProbeOutcome ProbeAndWait(ProbeEngine& engine, ProbeOrder order) {
    // Shared with `done`, which the engine's thread may still be leaving when the
    // waiter has already returned.
    struct Ending {
        std::mutex mutex;
        std::condition_variable ended;
        bool has_ended = false;
        ProbeOutcome outcome;
    };
    const auto ending = std::make_shared<Ending>();
    order.done = [ending, inner = std::move(order.done)](const ProbeOutcome& outcome) {
        if (inner) inner(outcome);
        std::lock_guard<std::mutex> lock(ending->mutex);
        ending->outcome = outcome;
        ending->has_ended = true;
        ending->ended.notify_all();
    };
    const std::int64_t window_ms = std::max<std::int64_t>(0, order.end_ms - order.first_ms);
    const ProbeTicket ticket = engine.Submit(std::move(order));
    if (ticket == 0) {
        ProbeOutcome cancelled;
        cancelled.verdict = ProbeVerdict::kCancelled;
        return cancelled;
    }
    std::unique_lock<std::mutex> lock(ending->mutex);
    const auto bound = std::chrono::milliseconds(window_ms + kProbeAndWaitGraceMs);
    if (ending->ended.wait_for(lock, bound, [&] { return ending->has_ended; })) return ending->outcome;
    // The engine could not serve it in time: the caller is not kept waiting for it.
    lock.unlock();
    engine.Cancel(ticket);
    ProbeOutcome unserved;
    unserved.verdict = ProbeVerdict::kUnserved;
    return unserved;
}
