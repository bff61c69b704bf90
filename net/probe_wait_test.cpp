#include "net/probe_wait.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(PollForAnswer, PollsAtOnceThenAfterEverySleepUntilTheDeadline) {
    struct Case {
        std::int64_t deadline;
        int answer_on_poll;  // 1-based; 0: never
        bool answered;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {0, 0, false, {"poll"}},
        {30, 0, false, {"poll", "sleep 10", "poll", "sleep 10", "poll", "sleep 10"}},
        {30, 1, true, {"poll"}},
        {30, 3, true, {"poll", "sleep 10", "poll", "sleep 10", "poll"}},
        // The last pause ends at the deadline.
        {25, 0, false, {"poll", "sleep 10", "poll", "sleep 10", "poll", "sleep 5"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> events;
        int polled = 0;
        std::int64_t now = 0;
        const bool answered = PollForAnswer(
            c.deadline, kPollIntervalMs,
            [&] {
                events.push_back("poll");
                return ++polled == c.answer_on_poll;
            },
            [&](int ms) {
                events.push_back("sleep " + std::to_string(ms));
                now += ms;
            },
            [&] { return now; });
        EXPECT_EQ(answered, c.answered) << c.deadline;
        EXPECT_EQ(events, c.events) << c.deadline;
    }
}

// Runs ProbeWithTimeout on a fake clock that moves only when it sleeps, with a fake
// probe that ends (answered or not) once the clock reaches `ends_at` (-1: never). With
// a `tick`, every sleep lasts a whole number of ticks, as on a default Windows timer.
struct ProbeRun {
    bool answered = false;
    int starts = 0;
    int elapsed = 0;
    std::vector<int> poll_times;
    bool abandoned_after = false;
};

ProbeRun RunProbe(std::int32_t limit_ms, int ends_at, ProbeResult ends_with, int tick = 0) {
    ProbeRun run;
    int now = 0;
    std::shared_ptr<ProbeState> probe;
    auto end_when_due = [&] {
        if (probe && ends_at >= 0 && now >= ends_at && probe->result() == ProbeResult::kPending) {
            probe->Finish(ends_with);
        }
    };
    run.answered = ProbeWithTimeout(
        "10.77.0.2", limit_ms,
        [&](std::string host, std::int32_t limit) {
            ++run.starts;
            EXPECT_EQ(host, "10.77.0.2");
            EXPECT_EQ(limit, limit_ms);
            probe = std::make_shared<ProbeState>(std::move(host), limit);
            end_when_due();
            return ProbeHandle(probe);
        },
        [&](int ms) {
            // Every sleep follows a poll; the poll happened at the time the sleep starts.
            run.poll_times.push_back(now);
            now += tick > 0 ? (ms + tick - 1) / tick * tick : ms;
            end_when_due();
        },
        [&] { return static_cast<std::int64_t>(now); });
    // An answered run returns on a poll that is not followed by a sleep.
    if (run.answered) run.poll_times.push_back(now);
    run.elapsed = now;
    run.abandoned_after = probe && probe->IsAbandoned();
    return run;
}

std::vector<int> Grid(int polls) {
    std::vector<int> times;
    for (int i = 0; i < polls; ++i) times.push_back(i * kPollIntervalMs);
    return times;
}

TEST(ProbeWithTimeout, PollsEveryTenMillisecondsForTheWholeLimit) {
    struct Case {
        std::int32_t limit;
        int polls;
    };
    for (const Case c : {Case{0, 0}, Case{-1, 0}, Case{INT_MIN, 0}, Case{10, 1}, Case{15, 2}, Case{500, 50}}) {
        const ProbeRun run = RunProbe(c.limit, -1, ProbeResult::kAnswered);
        EXPECT_FALSE(run.answered) << c.limit;
        EXPECT_EQ(run.poll_times, Grid(c.polls)) << c.limit;
        // No poll after the last sleep, which ends at the limit.
        EXPECT_EQ(run.elapsed, c.polls > 0 ? c.limit : 0) << c.limit;
        EXPECT_EQ(run.starts, c.polls > 0 ? 1 : 0) << c.limit;
        if (c.polls > 0) {
            EXPECT_TRUE(run.abandoned_after) << c.limit;
        }
    }
}

TEST(ProbeWithTimeout, CountsAnAnswerOnlyWhenAPollSeesIt) {
    struct Case {
        const char* name;
        int ends_at;
        ProbeResult ends_with;
        bool answered;
        int elapsed;
    };
    const Case cases[] = {
        {"answer before the first poll", 0, ProbeResult::kAnswered, true, 0},
        {"answer between polls", 15, ProbeResult::kAnswered, true, 20},
        {"answer by the last poll", 490, ProbeResult::kAnswered, true, 490},
        {"answer during the last sleep", 495, ProbeResult::kAnswered, false, 500},
        {"probe failed at once", 0, ProbeResult::kNoAnswer, false, 500},
        {"probe failed midway", 200, ProbeResult::kNoAnswer, false, 500},
    };
    for (const Case& c : cases) {
        const ProbeRun run = RunProbe(500, c.ends_at, c.ends_with);
        EXPECT_EQ(run.answered, c.answered) << c.name;
        EXPECT_EQ(run.elapsed, c.elapsed) << c.name;
        EXPECT_TRUE(run.abandoned_after) << c.name;
    }
}

// Sleeps of 10 ms that last a 16 ms tick (or 40 on a loaded machine): the wait still ends
// within one of them after the limit, and an answer is seen at the first poll after it.
TEST(ProbeWithTimeout, HoldsTheLimitWhenSleepsLastLonger) {
    struct Case {
        std::int32_t limit;
        int tick;
        int answer_at;  // -1: never
        bool answered;
    };
    const Case cases[] = {
        {500, 16, -1, false}, {500, 16, 300, true}, {15, 16, -1, false}, {1, 16, -1, false},
        // Polls at 0, 16, ... 496; the last pause, cut to 4 ms, lasts a whole tick.
        {500, 16, 497, false}, {500, 40, -1, false}, {500, 40, 300, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.limit) + " ms, ticks of " + std::to_string(c.tick) + ", answer at " +
                     std::to_string(c.answer_at));
        const ProbeRun run = RunProbe(c.limit, c.answer_at, ProbeResult::kAnswered, c.tick);
        EXPECT_EQ(run.answered, c.answered);
        if (c.answered) {
            EXPECT_LT(run.elapsed - c.answer_at, c.tick);
        } else {
            EXPECT_GE(run.elapsed, c.limit);
            EXPECT_LT(run.elapsed, c.limit + c.tick);
        }
        EXPECT_TRUE(run.abandoned_after);
    }
}

}  // namespace
