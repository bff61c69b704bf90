// Runs under Wine inside the test network namespace only: every probe is of 127.0.0.1.
#include "net/probe_engine-win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>

#include "common/monotonic_clock-win32.h"
#include "net/socket-win32.h"

namespace {

class ProbeEngineWin32 : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(winsock_.started()); }
    WinsockSession winsock_;
};

ProbeOrder LoopbackOrder(std::int64_t now) {
    ProbeOrder order;
    order.host = "127.0.0.1";
    order.first_ms = now;
    order.end_ms = now + 1000;
    order.attempt_ms = 1000;
    return order;
}

// Nothing listens on the service ports in the namespace: the echo is the answer, well
// before the attempt's end. The caller hears of it as the engine sees it, not at the
// next turn of a poll: of ten probes in a row, the slower half within 4 ms (a 10 ms
// poll would take 5 on average). Under Wine each connect() costs a few ms, so the
// answer itself comes some ms after the start.
TEST_F(ProbeEngineWin32, LoopbackAnswersThroughEachPathAtOnce) {
    for (const EchoPath path : {EchoPath::kRawThenIpHelper, EchoPath::kRawOnly, EchoPath::kIpHelperOnly}) {
        SCOPED_TRACE(static_cast<int>(path));
        ProbeEngineThread thread(path);
        ASSERT_TRUE(thread.IsRunning());
        std::vector<std::int64_t> heard;
        for (int i = 0; i < 10; ++i) {
            const std::int64_t start = MonotonicMs();
            const ProbeOutcome outcome = ProbeAndWait(thread.engine(), LoopbackOrder(start));
            heard.push_back(MonotonicMs() - outcome.answered_ms);
            ASSERT_EQ(outcome.verdict, ProbeVerdict::kAnswered);
            EXPECT_EQ(outcome.how, AnswerKind::kEcho);
            EXPECT_EQ(outcome.address, (Ipv4Bytes{127, 0, 0, 1}));
            EXPECT_LT(outcome.answered_ms - start, 200);
        }
        std::sort(heard.begin(), heard.end());
        EXPECT_LE(heard[heard.size() / 2], 4) << "slowest " << heard.back() << " ms";
    }
}

TEST_F(ProbeEngineWin32, StopCancelsWhatIsWaitingAndRefusesMore) {
    std::atomic<int> cancelled{0};
    {
        ProbeEngineThread thread;
        ASSERT_TRUE(thread.IsRunning());
        for (int i = 0; i < 3; ++i) {
            ProbeOrder order = LoopbackOrder(MonotonicMs() + 60000);  // not due for a minute
            order.end_ms = order.first_ms + 1000;
            order.done = [&cancelled](const ProbeOutcome& o) { cancelled += o.verdict == ProbeVerdict::kCancelled; };
            ASSERT_NE(thread.engine().Submit(std::move(order)), 0u);
        }
        const std::int64_t start = MonotonicMs();
        thread.Stop();
        EXPECT_LT(MonotonicMs() - start, 500);
        EXPECT_EQ(cancelled.load(), 3);
        EXPECT_EQ(thread.engine().Submit(LoopbackOrder(MonotonicMs())), 0u);
    }  // a second Stop, in the destructor, is harmless
}

}  // namespace
