// Runs under Wine inside the test network namespace only: probes go to 127.0.0.1, the
// peer 10.77.0.2 (it answers pings) and 10.77.0.3 (held by nobody).
#include "net/probe_engine-win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
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

// Each path forced on its own gives the same answers, and sends through its own way
// only: the IP helper path is the one a standard user's PC runs.
TEST_F(ProbeEngineWin32, EachForcedPathAnswersTheSameAndSendsOnlyItsOwnWay) {
    for (const EchoPath path : {EchoPath::kIpHelperOnly, EchoPath::kRawOnly}) {
        SCOPED_TRACE(static_cast<int>(path));
        ProbeEngineThread thread(path);
        ASSERT_TRUE(thread.IsRunning());
        ProbeOrder peer = LoopbackOrder(MonotonicMs());
        peer.host = "10.77.0.2";
        const ProbeOutcome answered = ProbeAndWait(thread.engine(), peer);
        EXPECT_EQ(answered.verdict, ProbeVerdict::kAnswered);
        EXPECT_EQ(answered.how, AnswerKind::kEcho);
        ProbeOrder nobody = LoopbackOrder(MonotonicMs());
        nobody.host = "10.77.0.3";
        nobody.end_ms = nobody.first_ms + 500;
        EXPECT_EQ(ProbeAndWait(thread.engine(), nobody).verdict, ProbeVerdict::kNoAnswer);
        const ProbeIoSent sent = thread.Sent();
        const bool api = path == EchoPath::kIpHelperOnly;
        EXPECT_EQ(sent.api_echoes, api ? 2u : 0u);
        EXPECT_EQ(sent.raw_echoes, api ? 0u : 2u);
    }
}

// More orders at once than the IP helper holds requests: those beyond its room wait for
// a request to end, and then each sends its own; none runs without its echo.
TEST_F(ProbeEngineWin32, OrdersBeyondTheIpHelpersRoomWaitForTheirEcho) {
    constexpr int kOrders = 70;
    static_assert(kOrders > kMostApiEchoes, "more than the io holds");
    // Declared before the engine, which may still end orders as it stops.
    std::mutex mutex;
    std::condition_variable all_ended;
    int ended = 0;
    int no_answer = 0;
    ProbeEngineThread thread(EchoPath::kIpHelperOnly, kOrders + 10);
    ASSERT_TRUE(thread.IsRunning());
    const std::int64_t start = MonotonicMs();
    for (int i = 0; i < kOrders; ++i) {
        ProbeOrder order = LoopbackOrder(start);
        order.host = "10.77.0.3";
        order.end_ms = start + 3000;
        order.attempt_ms = 400;
        order.echo_only = true;
        order.done = [&](const ProbeOutcome& outcome) {
            const std::lock_guard<std::mutex> lock(mutex);
            ++ended;
            no_answer += outcome.verdict == ProbeVerdict::kNoAnswer;
            all_ended.notify_all();
        };
        ASSERT_NE(thread.engine().Submit(std::move(order)), 0u);
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        all_ended.wait_for(lock, std::chrono::seconds(10), [&] { return ended == kOrders; });
        EXPECT_EQ(ended, kOrders);
        EXPECT_EQ(no_answer, kOrders);
    }
    // Two rounds of 400 ms, the second as soon as the first's requests end.
    const std::int64_t took = MonotonicMs() - start;
    EXPECT_GE(took, 800);
    EXPECT_LT(took, 2000);
    EXPECT_EQ(thread.Sent().api_echoes, static_cast<std::uint32_t>(kOrders));
    EXPECT_EQ(thread.Sent().raw_echoes, 0u);
}

}  // namespace
