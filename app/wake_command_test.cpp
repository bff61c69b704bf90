#include "app/wake_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/main_dialog_fake_test.h"

namespace {

// Everything the command does, in order, as text.
using Log = std::vector<std::string>;

// Logs into the dialog's log, so that one list holds every step in order.
struct FakeActions : WakeActions {
    explicit FakeActions(FakeMainDialog& dialog) : dialog(dialog) {}
    FakeMainDialog& dialog;
    bool send_succeeds = true;
    bool cache_works = true;

    bool WriteCache(const std::string& name, const std::string& text) override {
        dialog.Note("cache [" + name + "]=[" + text + "]");
        return cache_works;
    }
    bool SendMagicPacket(const std::string& mac, int port, const std::string& password) override {
        dialog.Note("send " + mac + " " + std::to_string(port) + " [" + password + "]");
        return send_succeeds;
    }
    void StartWatcher(const std::string& ip) override { dialog.Note("watch [" + ip + "]"); }
};

TEST(TurnOnCommand, FollowsItsStepsInOrderAndStopsEarlyOnEachFailure) {
    const std::string invalid = "show The MAC is invalid | Error | 16";
    const std::string failed = "show The PC couldn't be turned on.\nCheck MAC. | Error | 16";
    // Every case reads the three fields first.
    const Log reads = {"read ip", "read mac", "read password"};
    struct Case {
        const char* name;
        WakeFields fields;
        bool send_succeeds;
        WakeResult result;
        Log expected;  // after the reads
    };
    const Case cases[] = {
        {"sent",
         {"10.77.0.2", "00-1A-2B-3C-4D-5E", "abcdef"},
         true,
         WakeResult::kSent,
         {"cache [10.77.0.2]=[00-1A-2B-3C-4D-5E]", "progress", "send 00-1A-2B-3C-4D-5E 40000 [abcdef]",
          "watch [10.77.0.2]"}},
        {"send fails, entry already cached",
         {"10.77.0.2", "00-1A-2B-3C-4D-5E", ""},
         false,
         WakeResult::kSendFailed,
         {"cache [10.77.0.2]=[00-1A-2B-3C-4D-5E]", "progress", "send 00-1A-2B-3C-4D-5E 40000 []", failed}},
        {"MAC cached as typed",
         {"192.168.1.9", "0a:1b:2c:3d:4e:5f", ""},
         true,
         WakeResult::kSent,
         {"cache [192.168.1.9]=[0a:1b:2c:3d:4e:5f]", "progress", "send 0a:1b:2c:3d:4e:5f 40000 []",
          "watch [192.168.1.9]"}},
        {"IP text not validated",
         {"nas", "00-1A-2B-3C-4D-5E", "pw"},
         true,
         WakeResult::kSent,
         {"cache [nas]=[00-1A-2B-3C-4D-5E]", "progress", "send 00-1A-2B-3C-4D-5E 40000 [pw]", "watch [nas]"}},
        // Nothing to remember or watch: the user hears that the packet went out.
        {"empty IP",
         {" \t", "00-1A-2B-3C-4D-5E", "pw"},
         true,
         WakeResult::kSent,
         {"progress", "send 00-1A-2B-3C-4D-5E 40000 [pw]",
          "show Magic packet sent to 00-1A-2B-3C-4D-5E. | Turning on PC... | 64"}},
        // Blanks a paste brought along are dropped from both addresses, not the password.
        {"blanks around the addresses",
         {" 10.77.0.2\t", "\t00-1A-2B-3C-4D-5E ", " pw "},
         true,
         WakeResult::kSent,
         {"cache [10.77.0.2]=[00-1A-2B-3C-4D-5E]", "progress", "send 00-1A-2B-3C-4D-5E 40000 [ pw ]",
          "watch [10.77.0.2]"}},
        // The last IP's own value is never overwritten with a MAC.
        {"IP named like the last IP",
         {"ultimaIP", "00-1A-2B-3C-4D-5E", ""},
         true,
         WakeResult::kSent,
         {"progress", "send 00-1A-2B-3C-4D-5E 40000 []", "watch [ultimaIP]"}},
        {"zero MAC", {"10.77.0.2", "00-00-00-00-00-00", "abcdef"}, true, WakeResult::kInvalidMac,
         {invalid, "focus mac"}},
        {"empty MAC", {"10.77.0.2", "", ""}, true, WakeResult::kInvalidMac, {invalid, "focus mac"}},
        {"not hexadecimal", {"10.77.0.2", "00-1A-2B-3C-4D-5G", ""}, true, WakeResult::kInvalidMac,
         {invalid, "focus mac"}},
        {"short", {"10.77.0.2", "00-1A-2B-3C-4D-5", ""}, true, WakeResult::kInvalidMac, {invalid, "focus mac"}},
    };
    for (const Case& c : cases) {
        FakeMainDialog dialog;
        dialog.fields = {{DialogField::kIpAddress, c.fields.ip},
                         {DialogField::kMacAddress, c.fields.mac},
                         {DialogField::kPassword, c.fields.password}};
        FakeActions actions(dialog);
        actions.send_succeeds = c.send_succeeds;
        TurnOnCommand(dialog, actions);
        Log expected = reads;
        expected.insert(expected.end(), c.expected.begin(), c.expected.end());
        EXPECT_EQ(dialog.log, expected) << c.name;

        // The same decision without a window.
        FakeMainDialog no_window;
        FakeActions quiet(no_window);
        quiet.send_succeeds = c.send_succeeds;
        EXPECT_EQ(SendWake(c.fields, quiet, [] {}).result, c.result) << c.name;
    }
}

TEST(TurnOnCommand, ACacheThatCannotBeWrittenIsToldButStopsNothing) {
    for (const bool works : {true, false}) {
        FakeMainDialog dialog;
        FakeActions actions(dialog);
        actions.cache_works = works;
        const WakeOutcome outcome = SendWake({"10.77.0.2", "00-1A-2B-3C-4D-5E", ""}, actions, [] {});
        EXPECT_EQ(outcome.result, WakeResult::kSent);
        EXPECT_EQ(outcome.cache_failed, !works);
        EXPECT_EQ(dialog.log.back(), "send 00-1A-2B-3C-4D-5E 40000 []");
    }
}

// Probes whose answers follow a script, on a clock that only the watcher's sleeps move.
class ScriptedProbes {
public:
    // The probe of attempt `attempt` (1-based) answers once `pauses` of its pauses
    // have passed (0: before its first poll); attempt 0 means never. With a `tick`,
    // every sleep lasts a whole number of ticks, as on a default Windows timer.
    ScriptedProbes(int attempt, int pauses, int tick = 0)
        : answer_attempt_(attempt), answer_after_(pauses), tick_(tick) {}

    ProbeStarter Starter() {
        return [this](std::string host, std::int32_t limit_ms) {
            hosts_.push_back(host);
            limits_.push_back(limit_ms);
            states_.push_back(std::make_shared<ProbeState>(host, limit_ms));
            pauses_in_attempt_ = 0;
            Settle();
            return ProbeHandle(states_.back());
        };
    }

    SleepFunction Sleeper() {
        return [this](int ms) {
            elapsed_ms_ += tick_ > 0 ? (ms + tick_ - 1) / tick_ * tick_ : ms;
            sleeps_.push_back(ms);
            if (!states_.empty()) {
                ++pauses_in_attempt_;
                Settle();
            }
        };
    }

    ClockFunction Clock() {
        return [this] { return elapsed_ms_; };
    }

    std::int64_t elapsed_ms() const { return elapsed_ms_; }
    int started() const { return static_cast<int>(states_.size()); }
    const std::vector<std::string>& hosts() const { return hosts_; }
    const std::vector<std::int32_t>& limits() const { return limits_; }
    const std::vector<int>& sleeps() const { return sleeps_; }
    const std::vector<std::shared_ptr<ProbeState>>& states() const { return states_; }

private:
    void Settle() {
        if (started() == answer_attempt_ && pauses_in_attempt_ == answer_after_) {
            states_.back()->Finish(ProbeResult::kAnswered);
        }
    }

    const int answer_attempt_;
    const int answer_after_;
    const int tick_;
    int pauses_in_attempt_ = 0;
    std::int64_t elapsed_ms_ = 0;
    std::vector<std::string> hosts_;
    std::vector<std::int32_t> limits_;
    std::vector<int> sleeps_;
    std::vector<std::shared_ptr<ProbeState>> states_;
};

TEST(WakeWatcher, AnswerCountsOnlyWhenAPollOfItsAttemptSeesIt) {
    struct Case {
        const char* name;
        int attempt;  // 0: never
        int pauses;
        bool answered;
        int started;
        std::int64_t elapsed_ms;
    };
    const Case cases[] = {
        {"first poll of the first probe", 1, 0, true, 1, 60000},
        {"second poll of the first probe", 1, 1, true, 1, 60010},
        {"last poll of the first probe", 1, 49, true, 1, 60490},
        {"first poll of the last probe", 60, 0, true, 60, 60000 + 59 * 500},
        {"last poll of the last probe", 60, 49, true, 60, 60000 + 59 * 500 + 490},
        {"never", 0, 0, false, 60, 90000},
        // Comes during the pause after the 50th poll, when no poll is left.
        {"after the last poll of the first probe", 1, 50, false, 60, 90000},
        {"after the last poll of the last probe", 60, 50, false, 60, 90000},
    };
    for (const Case& c : cases) {
        ScriptedProbes probes(c.attempt, c.pauses);
        EXPECT_EQ(WatchForAnswer("10.77.0.2", kWatchSchedule, probes.Starter(), probes.Sleeper(), probes.Clock()),
                  c.answered)
            << c.name;
        EXPECT_EQ(probes.started(), c.started) << c.name;
        EXPECT_EQ(probes.elapsed_ms(), c.elapsed_ms) << c.name;
        ASSERT_FALSE(probes.sleeps().empty());
        EXPECT_EQ(probes.sleeps().front(), 60000) << c.name;
        for (const auto& state : probes.states()) {
            // Every probe was let go of when its attempt ended: only the test holds it.
            EXPECT_TRUE(state->IsAbandoned()) << c.name;
            EXPECT_EQ(state.use_count(), 1) << c.name;
            EXPECT_EQ(state->host(), "10.77.0.2");
            EXPECT_EQ(state->limit_ms(), 500);
        }
    }
}

TEST(WakeWatcher, ProbeThatEndsWithoutAnswerDoesNotShortenItsAttempt) {
    ScriptedProbes probes(0, 0);
    const ProbeStarter scripted = probes.Starter();
    // Each probe thread has already finished with no reply when polling starts.
    const ProbeStarter finished_early = [&](std::string host, std::int32_t limit_ms) {
        ProbeHandle handle = scripted(std::move(host), limit_ms);
        probes.states().back()->Finish(ProbeResult::kNoAnswer);
        return handle;
    };
    EXPECT_FALSE(WatchForAnswer("10.0.0.9", kWatchSchedule, finished_early, probes.Sleeper(), probes.Clock()));
    EXPECT_EQ(probes.started(), 60);
    EXPECT_EQ(probes.elapsed_ms(), 90000);
    EXPECT_EQ(probes.sleeps().size(), 1u + 60u * 50u);
}

TEST(WakeWatcher, FollowsAShrunkScheduleAndProbesTheTextAsGiven) {
    struct Case {
        const char* name;
        WatchSchedule schedule;
        std::vector<std::int32_t> limits;
        std::vector<int> sleeps;
    };
    const Case cases[] = {
        {"all attempts", {7, 3, 8, 2, 1000}, {8, 8, 8}, {7, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}},
        // The end comes 5 ms into the second probe: it gets those 5 ms, and no third follows.
        {"cut by the end", {7, 3, 8, 2, 20}, {8, 5}, {7, 2, 2, 2, 2, 2, 2, 1}},
    };
    for (const Case& c : cases) {
        ScriptedProbes probes(0, 0);
        EXPECT_FALSE(WatchForAnswer("", c.schedule, probes.Starter(), probes.Sleeper(), probes.Clock())) << c.name;
        EXPECT_EQ(probes.hosts(), std::vector<std::string>(c.limits.size(), "")) << c.name;
        EXPECT_EQ(probes.limits(), c.limits) << c.name;
        EXPECT_EQ(probes.sleeps(), c.sleeps) << c.name;
        EXPECT_EQ(probes.elapsed_ms(), std::min(c.schedule.end_ms, 7 + 3 * 8)) << c.name;
    }
}

// Sleeps of 10 ms that last a 16 ms tick (or 40 on a loaded machine) leave fewer polls
// per probe and fewer probes, but the watch still ends 90 s after its start, and an
// answer still counts.
TEST(WakeWatcher, EndsNinetySecondsAfterItsStartWhenSleepsLastLonger) {
    struct Case {
        int tick;
        int attempt;  // the one that answers; 0: none
        int pauses;
        bool answered;
        int started;
        std::int32_t last_limit;
    };
    const Case cases[] = {
        // A probe lasts 512 ms: 32 polls, the last pause cut to 4 ms and lasting 16.
        {16, 0, 0, false, 59, 304},
        {40, 0, 0, false, 58, 360},
        {16, 59, 18, true, 59, 304},
        // The answer comes during the last probe's last pause, at the end.
        {16, 59, 19, false, 59, 304},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("ticks of " + std::to_string(c.tick) + ", attempt " + std::to_string(c.attempt));
        ScriptedProbes probes(c.attempt, c.pauses, c.tick);
        EXPECT_EQ(WatchForAnswer("10.77.0.2", kWatchSchedule, probes.Starter(), probes.Sleeper(), probes.Clock()),
                  c.answered);
        EXPECT_EQ(probes.started(), c.started);
        ASSERT_FALSE(probes.limits().empty());
        EXPECT_EQ(probes.limits().back(), c.last_limit);
        EXPECT_LT(probes.elapsed_ms(), 90000 + c.tick);
        if (!c.answered) {
            EXPECT_GE(probes.elapsed_ms(), 90000);
        }
        for (const auto& state : probes.states()) EXPECT_TRUE(state->IsAbandoned());
    }
}

TEST(WakeWatcher, ReportsWithTheInformationIconEitherWay) {
    struct Case {
        int attempt;
        const char* text;
    };
    for (const Case& c : {Case{2, "The PC has been turned on."}, Case{0, "The PC could not been turned on."}}) {
        ScriptedProbes probes(c.attempt, 3);
        const WatchOutcome outcome =
            WatchForWake("10.77.0.2", kWatchSchedule, probes.Starter(), probes.Sleeper(), probes.Clock());
        EXPECT_EQ(outcome.result, c.attempt != 0 ? WatchResult::kAnswered : WatchResult::kNoAnswer);
        EXPECT_EQ(outcome.message.text, c.text);
        EXPECT_STREQ(outcome.message.caption, "Turning on PC...");
        EXPECT_EQ(outcome.message.icon, MessageIcon::kInformation);
    }
}

}  // namespace
