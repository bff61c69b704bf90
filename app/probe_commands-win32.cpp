#include "app/probe_commands-win32.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

#include "common/monotonic_clock-win32.h"
#include "net/probe_engine-win32.h"

namespace {

// What the engine's thread hands to the watching one. Shared, so that an outcome that
// comes after the watch has returned (a cancellation) finds it still there.
struct Outcomes {
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::pair<std::size_t, ProbeOutcome>> queue;
};

constexpr auto kStopAskedEvery = std::chrono::milliseconds(50);

}  // namespace

void WatchEveryHost(const std::vector<WatchTarget>& targets, std::int64_t end_ms, const WatchVerdict& verdict,
                    const std::function<bool()>& stop_asked) {
    ProbeEngine* engine = ProcessProbeEngine();
    const auto outcomes = std::make_shared<Outcomes>();
    std::vector<ProbeTicket> tickets(targets.size(), 0);
    std::size_t pending = 0;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        ProbeOrder order;
        order.host = targets[i].ip;
        order.reading = HostReading::kAddressOrName;
        order.first_ms = targets[i].sent_ms;
        order.end_ms = end_ms;
        order.attempt_ms = kCommandAttemptMs;
        order.attempts = 0;
        order.done = [outcomes, i](const ProbeOutcome& outcome) {
            {
                const std::lock_guard<std::mutex> lock(outcomes->mutex);
                outcomes->queue.emplace_back(i, outcome);
            }
            outcomes->arrived.notify_one();
        };
        tickets[i] = engine != nullptr ? engine->Submit(std::move(order)) : 0;
        if (tickets[i] != 0) {
            ++pending;
        } else {
            verdict(i, ProbeOutcome{});
        }
    }
    while (pending > 0) {
        if (stop_asked()) {
            for (const ProbeTicket ticket : tickets) {
                if (ticket != 0) engine->Cancel(ticket);
            }
            return;
        }
        std::pair<std::size_t, ProbeOutcome> next;
        {
            std::unique_lock<std::mutex> lock(outcomes->mutex);
            if (!outcomes->arrived.wait_for(lock, kStopAskedEvery, [&] { return !outcomes->queue.empty(); })) continue;
            next = outcomes->queue.front();
            outcomes->queue.pop_front();
        }
        tickets[next.first] = 0;
        --pending;
        // A cancellation here came from elsewhere (the program is ending): nothing to report.
        if (next.second.verdict != ProbeVerdict::kCancelled) verdict(next.first, next.second);
    }
}

bool CheckProbeOnThisPc(std::string ip_text, std::int32_t limit_ms) {
    ProbeEngine* engine = ProcessProbeEngine();
    if (engine == nullptr) return false;
    ProbeOrder order;
    order.host = std::move(ip_text);
    order.reading = HostReading::kAddressOnly;
    order.first_ms = MonotonicMs();
    order.end_ms = order.first_ms + limit_ms;
    order.attempt_ms = limit_ms;
    order.attempts = 1;
    return ProbeAndWait(*engine, std::move(order)).verdict == ProbeVerdict::kAnswered;
}
