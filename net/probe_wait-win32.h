#pragma once
// The system's monotonic clock for the probe waits.
#include <cstdint>

/// Milliseconds from QueryPerformanceCounter, which every Windows from XP on has and
/// which, unlike GetTickCount, neither wraps after 49.7 days nor steps in 15.6 ms ticks.
std::int64_t MonotonicMs();
