#pragma once
// The system's monotonic clock: every deadline of the program is held by it.
#include <cstdint>

/// Milliseconds from QueryPerformanceCounter, which every Windows from XP on has and
/// which, unlike GetTickCount, neither wraps after 49.7 days nor steps in 15.6 ms ticks.
std::int64_t MonotonicMs();
