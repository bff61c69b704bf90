#include "net/probe_engine.h"

#include <algorithm>
#include <utility>

#include "addr/ip_text.h"

bool ConnectionEvidence::Counts(bool control_connected, bool service_connected) {
    if (control_connected) control_connected_ = true;
    return service_connected && !control_connected_;
}

// The io ids an attempt still holds; 0 where it holds none. A connection's id goes as
// soon as the io reports it (the io has closed it then), an IP helper request's once
// the engine has closed it after its outcome.
struct ProbeEngine::Attempt {
    std::int64_t end_ms = 0;
    bool probing = false;  // false: the host gave no address, nothing was sent
    Ipv4Bytes to{};
    std::uint32_t value = 0;
    IoId api_echo = 0;
    IoId control = 0;
    std::vector<std::pair<IoId, std::uint16_t>> services;  // with their ports
    ConnectionEvidence evidence;
};

struct ProbeEngine::Entry {
    ProbeOrder order;
    ProbeOutcome outcome;
    std::int64_t due_ms = 0;  // while waiting: no attempt starts before it
    int attempts_made = 0;
    bool has_address = false;  // outcome.address holds it; a name is resolved once
    std::unique_ptr<Attempt> attempt;
};

ProbeEngine::ProbeEngine(ProbeIo& io, int most_at_once) : io_(io), most_at_once_(std::max(1, most_at_once)) {}

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
    std::int64_t now = io_.NowMs();
    ExpireAttempts(now);
    StartDue(now);
    if (stop_seen_) {  // taken in while a name resolved
        EndEverything();
        return false;
    }
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
        const ProbeOrder& o = entry->order;
        entries_.emplace(ticket, std::move(entry));
        // Orders that can never send anything end at once: an empty window, an
        // attempt without time, or Check's text that is no address.
        if (o.first_ms >= o.end_ms || o.attempt_ms <= 0 ||
            (o.reading == HostReading::kAddressOnly && !ReadIpv4Octets(o.host))) {
            Finish(ticket, ProbeOutcome{});
        } else {
            waiting_.push_back(ticket);
        }
    }
    for (const ProbeTicket ticket : cancelled) {
        const auto found = entries_.find(ticket);
        if (found == entries_.end()) continue;  // ended already, or never ours
        if (found->second->attempt) EndAttempt(*found->second);
        waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), ticket), waiting_.end());
        ProbeOutcome outcome = found->second->outcome;
        outcome.verdict = ProbeVerdict::kCancelled;
        Finish(ticket, outcome);
    }
}

void ProbeEngine::StartDue(std::int64_t now) {
    for (bool first = true; running_ < most_at_once_ && !stop_seen_ && EchoCanLeave(); first = false) {
        if (!first) now = io_.NowMs();  // a name may have taken long to resolve
        // The first in line that is due; one whose first_ms lies ahead lets those
        // behind it go first.
        const auto due = std::find_if(waiting_.begin(), waiting_.end(),
                                      [&](ProbeTicket t) { return entries_.at(t)->due_ms <= now; });
        if (due == waiting_.end()) return;
        const ProbeTicket ticket = *due;
        waiting_.erase(due);
        StartAttempt(ticket, now);
    }
}

void ProbeEngine::StartAttempt(ProbeTicket ticket, std::int64_t now) {
    Entry* entry = entries_.at(ticket).get();
    const ProbeOrder& order = entry->order;
    if (now >= order.end_ms) {
        Finish(ticket, entry->outcome);
        return;
    }
    if (!entry->has_address) {
        if (const std::optional<Ipv4Bytes> octets = ReadIpv4Octets(order.host)) {
            entry->outcome.address = *octets;
            entry->has_address = true;
        } else {
            Ipv4Bytes resolved{};
            const bool ok = io_.Resolve(order.host, resolved);
            // A name can take long to resolve: what was cancelled or stopped meanwhile
            // must not send anything, and the attempt's time starts only now.
            TakeInRequests();
            const auto found = entries_.find(ticket);
            if (found == entries_.end()) return;
            entry = found->second.get();
            if (stop_seen_) return;  // EndEverything ends it with the rest
            now = io_.NowMs();
            if (now >= entry->order.end_ms) {
                Finish(ticket, entry->outcome);
                return;
            }
            if (ok) {
                entry->outcome.address = resolved;
                entry->has_address = true;
            }
        }
    }

    ++entry->attempts_made;
    ++running_;
    entry->attempt = std::make_unique<Attempt>();
    Attempt& attempt = *entry->attempt;
    const std::int64_t limit = std::min<std::int64_t>(entry->order.attempt_ms, entry->order.end_ms - now);
    attempt.end_ms = now + limit;
    // A host that gave no address this time makes a silent attempt: it still takes its
    // time, and the next one asks again.
    if (!entry->has_address) return;
    attempt.probing = true;
    attempt.to = entry->outcome.address;
    attempt.value = io_.NewProbeValue();
    const EchoRequest request = BuildEchoRequest(io_.TickCount(), attempt.value);
    // The echo request leaves first. A failed send or connect does not end the attempt:
    // what did start may still answer. A raw socket whose sends Windows refuses is gone
    // after the send: this same echo goes through the IP helper, as every later one.
    const bool raw_sent = io_.HasRawSocket() && io_.SendRawEcho(attempt.to, request);
    if (!raw_sent && !io_.HasRawSocket()) {
        const std::vector<std::uint8_t> payload(request.begin() + kIcmpHeaderSize, request.end());
        attempt.api_echo = io_.StartApiEcho(attempt.to, payload, static_cast<std::int32_t>(limit));
    }
    // The control goes first, so that a path that completes everything shows it no
    // later than the service connections; without it none of them could count.
    attempt.control = entry->order.echo_only ? 0 : io_.Connect(attempt.to, kControlPort);
    if (attempt.control != 0) {
        for (const std::uint16_t port : kServicePorts) {
            if (const IoId id = io_.Connect(attempt.to, port)) attempt.services.emplace_back(id, port);
        }
    }
    for (const IoId id : {attempt.api_echo, attempt.control}) {
        if (id != 0) owners_[id] = ticket;
    }
    for (const auto& service : attempt.services) owners_[service.first] = ticket;
}

void ProbeEngine::EndAttempt(Entry& entry) {
    Attempt& attempt = *entry.attempt;
    auto close = [this](IoId id) {
        if (id == 0) return;
        owners_.erase(id);
        io_.Close(id);
    };
    close(attempt.api_echo);
    close(attempt.control);
    for (const auto& service : attempt.services) close(service.first);
    entry.attempt.reset();
    --running_;
}

void ProbeEngine::Finish(ProbeTicket ticket, ProbeOutcome outcome) {
    const auto found = entries_.find(ticket);
    std::function<void(const ProbeOutcome&)> done = std::move(found->second->order.done);
    entries_.erase(found);
    // Last, with no state of the engine in the middle of a change: `done` may submit
    // or cancel orders.
    if (done) done(outcome);
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
    // What a wait saw counts for the attempts running when it began, even one whose
    // limit passed while it lasted. A raw socket sees every ICMP message reaching the
    // host: other pings, our own request on loopback, a router's "unreachable"; only an
    // attempt's own reply answers it. raw_failed needs nothing here: the io answers
    // HasRawSocket() false from then on, so later attempts go through the IP helper,
    // and the attempts running now still wait for their connections.
    for (const std::vector<std::uint8_t>& datagram : events.datagrams) {
        for (const auto& [ticket, entry] : entries_) {
            const Attempt* a = entry->attempt.get();
            if (a && a->probing && IsOurEchoReply(datagram.data(), datagram.size(), a->to, a->value)) {
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
        if (entries_.at(ticket)->attempt->evidence.Counts(s.control, s.port != 0)) {
            Answer(ticket, AnswerKind::kTcp, s.port, now);
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
        Finish(ticket, entries_.at(ticket)->outcome);
    }
}

int ProbeEngine::WaitMs(std::int64_t now, int most_wait_ms) const {
    std::int64_t next = now + std::max(0, most_wait_ms);
    for (const auto& [ticket, entry] : entries_) {
        if (entry->attempt) next = std::min(next, entry->attempt->end_ms);
    }
    // An order that is due but has no room to start waits for the io to make room: the
    // wait returns for that.
    const bool may_start = running_ < most_at_once_ && EchoCanLeave();
    for (const ProbeTicket ticket : waiting_) {
        const Entry& entry = *entries_.at(ticket);
        next = std::min(next, entry.order.end_ms);
        if (may_start) next = std::min(next, entry.due_ms);
    }
    return static_cast<int>(std::max<std::int64_t>(0, next - now));
}

bool ProbeEngine::EchoCanLeave() const {
    return io_.HasRawSocket() || io_.HasApiEchoRoom();
}

void ProbeEngine::EndEverything() {
    TakeInRequests();  // orders accepted before Stop end like the rest
    waiting_.clear();
    std::vector<ProbeTicket> tickets;
    for (const auto& [ticket, entry] : entries_) {
        if (entry->attempt) EndAttempt(*entry);
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
    if (engine.Submit(std::move(order)) == 0) {
        ProbeOutcome cancelled;
        cancelled.verdict = ProbeVerdict::kCancelled;
        return cancelled;
    }
    std::unique_lock<std::mutex> lock(ending->mutex);
    ending->ended.wait(lock, [&] { return ending->has_ended; });
    return ending->outcome;
}
