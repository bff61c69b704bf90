#pragma once
// Waiting for a probe until a deadline on a monotonic clock, polling it every 10 ms.
// The starter polls, it does not block on the probe: the first poll comes at once,
// every poll short of the deadline is followed by a pause (the last one ends at the
// deadline), and an answer that arrives during the last pause is not seen. A sleep
// may last longer than asked (a default Windows timer rounds 10 ms up to 15.6 ms);
// the clock, not a count of sleeps, says when the time is up.
#include <cstdint>
#include <functional>
#include <string>

#include "net/probe_state.h"

constexpr int kPollIntervalMs = 10;

using PollFunction = std::function<bool()>;
using SleepFunction = std::function<void(int ms)>;
/// Milliseconds on a monotonic clock; only the difference of two readings means anything.
using ClockFunction = std::function<std::int64_t()>;
/// Starts a probe of `host` that its starter will wait `limit_ms` for.
using ProbeStarter = std::function<ProbeHandle(std::string host, std::int32_t limit_ms)>;

/// Calls `poll` at once, and again after each `sleep` of `pause_ms` (the last one cut to
/// end at `deadline_ms`) as long as `clock` is short of the deadline. Returns true at
/// the first poll that answers, false once a pause has reached the deadline.
bool PollForAnswer(std::int64_t deadline_ms, int pause_ms, const PollFunction& poll, const SleepFunction& sleep,
                   const ClockFunction& clock);

/// Starts a probe of `ip_text` with `start` and polls it every 10 ms until `limit_ms`
/// have passed on `clock`; true when it answered by a poll within that time. A probe
/// that ends without an answer does not shorten the wait. The probe is abandoned
/// before this returns. A limit of 0 or less returns false at once, without starting
/// a probe.
bool ProbeWithTimeout(std::string ip_text, std::int32_t limit_ms, const ProbeStarter& start,
                      const SleepFunction& sleep, const ClockFunction& clock);
