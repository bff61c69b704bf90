#include "common/detached_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

namespace {

// A record that tells the test when it is released.
struct TrackedRecord {
    explicit TrackedRecord(std::shared_ptr<std::atomic<int>> released) : released(std::move(released)) {}
    ~TrackedRecord() { released->fetch_add(1); }
    std::shared_ptr<std::atomic<int>> released;
    bool fail = false;
};

bool WaitFor(const std::atomic<int>& counter, int value) {
    for (int i = 0; i < 500 && counter.load() != value; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return counter.load() == value;
}

TEST(DetachedThread, ReleasesWhatItsWorkOwnsWhetherTheWorkReturnsOrThrows) {
    for (const bool fail : {false, true}) {
        auto released = std::make_shared<std::atomic<int>>(0);
        auto runs = std::make_shared<std::atomic<int>>(0);
        auto record = std::make_unique<TrackedRecord>(released);
        record->fail = fail;
        EXPECT_TRUE(StartDetachedThread([owned = std::move(record), runs] {
            runs->fetch_add(1);
            if (owned->fail) throw std::runtime_error("work failed");
        }));
        EXPECT_TRUE(WaitFor(*released, 1)) << fail;
        EXPECT_EQ(runs->load(), 1);
    }
}

}  // namespace
