#pragma once
// Check's probe, over the process's probe engine.
#include <cstdint>
#include <string>

/// Each attempt of a watch on the command line: a fresh probe every couple of seconds.
constexpr std::int32_t kCommandAttemptMs = 2000;

/// Check's probe: one attempt at the address `ip_text` names (never a host name) for
/// `limit_ms`, the caller waiting; true when it answered. The caller wakes when the
/// answer arrives, or at the limit.
bool CheckProbeOnThisPc(std::string ip_text, std::int32_t limit_ms);
