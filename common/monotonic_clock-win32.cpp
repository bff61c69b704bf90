#include "common/monotonic_clock-win32.h"

#include <windows.h>

#include <atomic>

namespace {

// Fixed at boot; from XP on the call cannot fail. Kept without a function-local static:
// this clock stands in for GetTickCount64 inside the thread library on XP
// (tick_count64-win32.cpp), and such a static's guard would call into that library.
std::atomic<std::int64_t> counter_frequency{0};

}  // namespace

std::int64_t MonotonicMs() {
    std::int64_t frequency = counter_frequency.load(std::memory_order_relaxed);
    if (frequency == 0) {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        frequency = static_cast<std::int64_t>(f.QuadPart);
        counter_frequency.store(frequency, std::memory_order_relaxed);
    }
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const std::int64_t count = now.QuadPart;
    // In two steps: count * 1000 would overflow after some weeks of a fast counter.
    return count / frequency * 1000 + count % frequency * 1000 / frequency;
}
