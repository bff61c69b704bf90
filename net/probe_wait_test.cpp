#include "net/probe_wait.h"

#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(PollForAnswer, PollsAtOnceThenAfterEverySleep) {
    struct Case {
        int polls;
        int answer_on_poll;  // 1-based; 0: never
        bool answered;
        std::vector<std::string> events;
    };
    const Case cases[] = {
        {0, 0, false, {}},
        {3, 0, false, {"poll", "sleep", "poll", "sleep", "poll", "sleep"}},
        {3, 1, true, {"poll"}},
        {3, 3, true, {"poll", "sleep", "poll", "sleep", "poll"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> events;
        int polled = 0;
        const bool answered = PollForAnswer(
            c.polls, kPollIntervalMs,
            [&] {
                events.push_back("poll");
                return ++polled == c.answer_on_poll;
            },
            [&](int ms) {
                EXPECT_EQ(ms, kPollIntervalMs);
                events.push_back("sleep");
            });
        EXPECT_EQ(answered, c.answered) << c.polls << " polls";
        EXPECT_EQ(events, c.events) << c.polls << " polls";
    }
}

TEST(CountPolls, IsTheLimitInTensRoundedUp) {
    const std::pair<std::int32_t, int> cases[] = {
        {INT_MIN, 0}, {-10, 0}, {0, 0}, {1, 1}, {10, 1}, {11, 2}, {15, 2}, {500, 50},
        {INT_MAX, 214748365},
    };
    for (const auto& [limit, polls] : cases) EXPECT_EQ(CountPolls(limit), polls) << limit;
}

// Runs ProbeWithTimeout on a fake clock that moves only when it sleeps, with a fake
// probe that ends (answered or not) once the clock reaches `ends_at` (-1: never).
struct ProbeRun {
    bool answered = false;
    int starts = 0;
    int elapsed = 0;
    std::vector<int> poll_times;
    bool abandoned_after = false;
};

ProbeRun RunProbe(std::int32_t limit_ms, int ends_at, ProbeResult ends_with) {
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
            now += ms;
            end_when_due();
        });
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
    for (const Case c : {Case{0, 0}, Case{-1, 0}, Case{10, 1}, Case{15, 2}, Case{500, 50}}) {
        const ProbeRun run = RunProbe(c.limit, -1, ProbeResult::kAnswered);
        EXPECT_FALSE(run.answered) << c.limit;
        EXPECT_EQ(run.poll_times, Grid(c.polls)) << c.limit;
        // No poll after the last sleep: the wait ends one interval after the last poll.
        EXPECT_EQ(run.elapsed, c.polls * kPollIntervalMs) << c.limit;
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

}  // namespace
