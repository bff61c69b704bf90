#include "common/monotonic_clock-win32.h"

#include <windows.h>

std::int64_t MonotonicMs() {
    // Fixed at boot; from XP on the call cannot fail.
    static const std::int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<std::int64_t>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const std::int64_t count = now.QuadPart;
    // In two steps: count * 1000 would overflow after some weeks of a fast counter.
    return count / frequency * 1000 + count % frequency * 1000 / frequency;
}
