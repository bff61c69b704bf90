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

    bool WriteCache(const std::string& name, const std::string& text, std::string& reason) override {
        dialog.Note("cache [" + name + "]=[" + text + "]");
        if (!cache_works) reason = "Access is denied (5)";
        return cache_works;
    }
    bool SendMagicPacket(const std::string& mac, int port, const std::string& password, const std::string& ip,
                         const std::vector<WireEndpoint>& also_to) override {
        dialog.Note("send " + mac + " " + std::to_string(port) + " [" + password + "]");
        sent_ip = ip;
        sent_also_to = also_to;
        return send_succeeds;
    }
    std::string sent_ip;
    std::vector<WireEndpoint> sent_also_to;
    void ProbeBeforeSend(const std::string& ip, const std::string& mac) override {
        dialog.Note("probe [" + ip + "] " + mac);
    }
    void StartWatcher(const std::string& ip, const std::string& mac,
                      const std::optional<PairNotRemembered>& not_remembered) override {
        dialog.Note("watch [" + ip + "] " + mac +
                    (not_remembered ? " not remembered [" + not_remembered->ip + "]=[" + not_remembered->mac + "] " +
                                          not_remembered->reason
                                    : ""));
    }
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
         {"cache [10.77.0.2]=[00-1A-2B-3C-4D-5E]", "probe [10.77.0.2] 00-1A-2B-3C-4D-5E", "progress",
          "send 00-1A-2B-3C-4D-5E 40000 [abcdef]", "watch [10.77.0.2] 00-1A-2B-3C-4D-5E"}},
        {"send fails, entry already cached",
         {"10.77.0.2", "00-1A-2B-3C-4D-5E", ""},
         false,
         WakeResult::kSendFailed,
         {"cache [10.77.0.2]=[00-1A-2B-3C-4D-5E]", "probe [10.77.0.2] 00-1A-2B-3C-4D-5E", "progress",
          "send 00-1A-2B-3C-4D-5E 40000 []", failed}},
        {"MAC cached as typed",
         {"192.168.1.9", "0a:1b:2c:3d:4e:5f", ""},
         true,
         WakeResult::kSent,
         {"cache [192.168.1.9]=[0a:1b:2c:3d:4e:5f]", "probe [192.168.1.9] 0a:1b:2c:3d:4e:5f", "progress",
          "send 0a:1b:2c:3d:4e:5f 40000 []", "watch [192.168.1.9] 0a:1b:2c:3d:4e:5f"}},
        {"IP text not validated",
         {"nas", "00-1A-2B-3C-4D-5E", "pw"},
         true,
         WakeResult::kSent,
         {"cache [nas]=[00-1A-2B-3C-4D-5E]", "probe [nas] 00-1A-2B-3C-4D-5E", "progress",
          "send 00-1A-2B-3C-4D-5E 40000 [pw]", "watch [nas] 00-1A-2B-3C-4D-5E"}},
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
         {"cache [10.77.0.2]=[00-1A-2B-3C-4D-5E]", "probe [10.77.0.2] 00-1A-2B-3C-4D-5E", "progress",
          "send 00-1A-2B-3C-4D-5E 40000 [ pw ]", "watch [10.77.0.2] 00-1A-2B-3C-4D-5E"}},
        // The last IP's own value is never overwritten with a MAC.
        {"IP named like the last IP",
         {"ultimaIP", "00-1A-2B-3C-4D-5E", ""},
         true,
         WakeResult::kSent,
         {"probe [ultimaIP] 00-1A-2B-3C-4D-5E", "progress", "send 00-1A-2B-3C-4D-5E 40000 []",
          "watch [ultimaIP] 00-1A-2B-3C-4D-5E"}},
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

// The pair as the wake used it and the system's reason, for the command line's line and
// for the watcher, whose report in the dialog says it.
TEST(TurnOnCommand, ACacheThatCannotBeWrittenIsToldButStopsNothing) {
    const struct {
        bool works;
        std::string not_remembered;  // ip=mac: reason, or empty
        std::string watcher;
    } cases[] = {
        {true, "", "watch [10.77.0.2] 00-1A-2B-3C-4D-5E"},
        {false, "10.77.0.2=00-1A-2B-3C-4D-5E: Access is denied (5)",
         "watch [10.77.0.2] 00-1A-2B-3C-4D-5E not remembered [10.77.0.2]=[00-1A-2B-3C-4D-5E] Access is denied (5)"},
    };
    for (const auto& c : cases) {
        FakeMainDialog dialog;
        FakeActions actions(dialog);
        actions.cache_works = c.works;
        const WakeOutcome outcome = SendWake({" 10.77.0.2", "00-1A-2B-3C-4D-5E ", ""}, actions, [] {});
        EXPECT_EQ(outcome.result, WakeResult::kSent);
        EXPECT_EQ(outcome.not_remembered ? outcome.not_remembered->ip + "=" + outcome.not_remembered->mac + ": " +
                                               outcome.not_remembered->reason
                                         : "",
                  c.not_remembered);
        EXPECT_EQ(dialog.log.back(), "send 00-1A-2B-3C-4D-5E 40000 []");

        FakeMainDialog window;
        window.fields = {{DialogField::kIpAddress, "10.77.0.2"}, {DialogField::kMacAddress, "00-1A-2B-3C-4D-5E"}};
        FakeActions clicked(window);
        clicked.cache_works = c.works;
        TurnOnCommand(window, clicked);
        EXPECT_EQ(window.log.back(), c.watcher);
    }
}

// The send learns the IP text (a PC beyond a router also gets it unicast) as the wake
// reads it, and where else the packet goes; the dialog sends nowhere else.
TEST(TurnOnCommand, HandsTheSendTheIpTextAndTheOtherDestinations) {
    const WireEndpoint far{{10, 80, 0, 255}, {0x00, 0x09}};
    struct Case {
        WakeFields fields;
        std::string ip;
    };
    const Case cases[] = {
        {{" 10.80.0.2\t", "00-1A-2B-3C-4D-5E", ""}, "10.80.0.2"},
        {{"far-pc", "00-1A-2B-3C-4D-5E", "", {far}}, "far-pc"},
        {{"", "00-1A-2B-3C-4D-5E", "", {far, far}}, ""},
    };
    for (const Case& c : cases) {
        FakeMainDialog no_window;
        FakeActions actions(no_window);
        ASSERT_EQ(SendWake(c.fields, actions, [] {}).result, WakeResult::kSent);
        EXPECT_EQ(actions.sent_ip, c.ip);
        ASSERT_EQ(actions.sent_also_to.size(), c.fields.also_to.size());
        for (std::size_t i = 0; i < c.fields.also_to.size(); ++i) {
            EXPECT_EQ(actions.sent_also_to[i].address, c.fields.also_to[i].address);
            EXPECT_EQ(actions.sent_also_to[i].port, c.fields.also_to[i].port);
        }
    }
}

// The watch as the engine gets it: the first probe a minute after the send, 60 of
// 500 ms at most, none past 90 s; the host text as typed, a name allowed.
TEST(WakeWatcher, OrdersProbesFromAMinuteToNinetySecondsAfterTheSend) {
    struct Case {
        WatchSchedule schedule;
        std::int64_t sent_ms;
        std::int64_t first_ms, end_ms;
        std::int32_t attempt_ms;
        int attempts;
    };
    const Case cases[] = {
        {kWatchSchedule, 0, 60000, 90000, 500, 60},
        {kWatchSchedule, 123456789, 123516789, 123546789, 500, 60},
        {{7, 3, 8, 20}, 5, 12, 25, 8, 3},
    };
    for (const Case& c : cases) {
        int called = 0;
        const ProbeOrder order = WatchOrder(" pc-7 ", c.schedule, c.sent_ms, [&](const ProbeOutcome&) { ++called; });
        EXPECT_EQ(order.host, " pc-7 ");
        EXPECT_EQ(order.reading, HostReading::kAddressOrName);
        EXPECT_EQ(order.first_ms, c.first_ms);
        EXPECT_EQ(order.end_ms, c.end_ms);
        EXPECT_EQ(order.attempt_ms, c.attempt_ms);
        EXPECT_EQ(order.attempts, c.attempts);
        ASSERT_TRUE(order.done);
        order.done(ProbeOutcome{});
        EXPECT_EQ(called, 1);
    }
}


}  // namespace
