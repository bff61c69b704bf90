#pragma once
// The probes of the commands, over the process's probe engine: Check's, and the watch
// of many hosts at once on the command line.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "net/probe_engine.h"

/// Each attempt of a watch on the command line: a fresh probe every couple of seconds.
constexpr std::int32_t kCommandAttemptMs = 2000;


/// WatchAllFunction over the engine: probes every target (an address, or a machine's
/// name) from its send on, in attempts of kCommandAttemptMs, until it answers or
/// `end_ms` comes, and hands each outcome to `verdict` on the caller's thread as soon as
/// it is known. Returns when every target has its outcome, or when `stop_asked` says so
/// (asked at least every 50 ms): the watches not ended then are cancelled and not
/// reported. Without a probe engine every target ends with no answer at once.
void WatchEveryHost(const std::vector<WatchTarget>& targets, std::int64_t end_ms, const WatchVerdict& verdict,
                    const std::function<bool()>& stop_asked);

/// Check's probe: one attempt at the address `ip_text` names (never a host name) for
/// `limit_ms`, the caller waiting; true when it answered. The caller wakes when the
/// answer arrives, or at the limit.
bool CheckProbeOnThisPc(std::string ip_text, std::int32_t limit_ms);
