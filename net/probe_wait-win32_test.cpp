#include "net/probe_wait-win32.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

// Over a sleep of some ticks the clock moves as GetTickCount does, in milliseconds,
// and never back.
TEST(MonotonicMs, KeepsPaceWithTheTickCount) {
    const std::int64_t clock_start = MonotonicMs();
    const DWORD tick_start = GetTickCount();
    std::int64_t last = clock_start;
    for (int i = 0; i < 20; ++i) {
        Sleep(10);
        const std::int64_t now = MonotonicMs();
        EXPECT_GE(now, last);
        last = now;
    }
    const std::int64_t ticks = static_cast<std::int64_t>(GetTickCount() - tick_start);
    // Twenty sleeps of 10 ms; the tick count itself may step by up to 16 ms.
    EXPECT_GE(last - clock_start, 195);
    EXPECT_NEAR(static_cast<double>(last - clock_start), static_cast<double>(ticks), 32.0);
}

}  // namespace
