#pragma once
// The probes of the commands, over the process's probe engine: Check's, and the watch
// of many hosts at once on the command line.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/probe_engine.h"

/// Each attempt of a watch on the command line: a fresh probe every couple of seconds.
constexpr std::int32_t kCommandAttemptMs = 2000;

struct HostWatch {
    std::string host;      // an address, or a machine's name
    std::int64_t from_ms;  // MonotonicMs of its send: no probe before it
};

/// Probes every host from its `from_ms` on, in attempts of kCommandAttemptMs, until it
/// answers or `end_ms` comes; hands each outcome to `verdict` on the caller's thread as
/// soon as it is known. Returns when every host has its outcome, or when `stop_asked`
/// says so (asked every 50 ms): the watches not ended then are cancelled and not
/// reported. Without a probe engine every host ends with no answer at once.
void WatchEveryHost(const std::vector<HostWatch>& watches, std::int64_t end_ms,
                    const std::function<void(std::size_t index, const ProbeOutcome& outcome)>& verdict,
                    const std::function<bool()>& stop_asked);

/// Check's probe: one attempt at the address `ip_text` names (never a host name) for
/// `limit_ms`, the caller waiting; true when it answered. The caller wakes when the
/// answer arrives, or at the limit.
bool CheckProbeOnThisPc(std::string ip_text, std::int32_t limit_ms);
