#include "net/probe_state.h"

#include <utility>

#include "common/detached_thread.h"

namespace {
std::atomic<bool> every_probe_abandoned{false};
}  // namespace

void AbandonEveryProbe() { every_probe_abandoned.store(true, std::memory_order_release); }

bool IsEveryProbeAbandoned() { return every_probe_abandoned.load(std::memory_order_acquire); }

ProbeHandle StartProbe(std::string host, std::int32_t limit_ms, const ProbeBody& body) {
    auto state = std::make_shared<ProbeState>(std::move(host), limit_ms);
    // Nobody joins a probe. Its share of the state keeps everything it touches alive
    // until it returns, however long after its starter that is.
    const bool started = StartDetachedThread([body, state] {
        try {
            body(state);
        } catch (...) {
            state->Finish(ProbeResult::kNoAnswer);  // an exception is a failed probe
        }
    });
    if (!started) state->Finish(ProbeResult::kNoAnswer);
    return ProbeHandle(std::move(state));
}
