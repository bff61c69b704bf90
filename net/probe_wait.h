#pragma once
// Waiting for a probe on a fixed 10 ms grid. The starter polls, it does not block
// on the probe: the first poll comes at once, every poll (the last one too) is
// followed by a pause, and an answer that arrives during the last pause is not seen.
#include <cstdint>
#include <functional>
#include <string>

#include "net/probe_state.h"

constexpr int kPollIntervalMs = 10;

using PollFunction = std::function<bool()>;
using SleepFunction = std::function<void(int ms)>;
/// Starts a probe of `host` that its starter will wait `limit_ms` for.
using ProbeStarter = std::function<ProbeHandle(std::string host, std::int32_t limit_ms)>;

/// Number of polls a limit allows: ceil(limit_ms / 10), and 0 for a limit of 0 or less.
int CountPolls(std::int32_t limit_ms);

/// Calls `poll` up to `polls` times, the first at once and each further one after
/// `sleep(pause_ms)`; a poll that is not answered is always followed by that sleep,
/// the last one included. Returns true at the first poll that answers.
bool PollForAnswer(int polls, int pause_ms, const PollFunction& poll, const SleepFunction& sleep);

/// Starts a probe of `ip_text` with `start` and polls it every 10 ms for `limit_ms`;
/// true when it answered by a poll within that time. A probe that ends without an
/// answer does not shorten the wait. The probe is abandoned before this returns. A
/// limit of 0 or less returns false at once, without starting a probe.
bool ProbeWithTimeout(std::string ip_text, std::int32_t limit_ms, const ProbeStarter& start,
                      const SleepFunction& sleep);
