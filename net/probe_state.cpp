#include "net/probe_state.h"

#include <thread>
#include <utility>

ProbeHandle StartProbe(std::string host, std::int32_t limit_ms, const ProbeBody& body) {
    auto state = std::make_shared<ProbeState>(std::move(host), limit_ms);
    try {
        // Detached: nobody joins a probe. Its share of the state keeps everything it
        // touches alive until it returns, however long after its starter that is.
        std::thread([body, state] {
            try {
                body(state);
            } catch (...) {
                // An escaping exception would end the process; the probe just fails.
                state->Finish(ProbeResult::kNoAnswer);
            }
        }).detach();
    } catch (...) {  // no thread (std::system_error) or no memory for its start
        state->Finish(ProbeResult::kNoAnswer);
    }
    return ProbeHandle(std::move(state));
}
