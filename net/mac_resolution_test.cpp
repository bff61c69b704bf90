#include "net/mac_resolution.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kTarget = 0x0900'4D0Au;  // 10.77.0.9 in network byte order on a little-endian host
constexpr std::uint32_t kOther = 0x0200'4D0Au;   // 10.77.0.2
constexpr std::uint32_t kBroadcast = 0xFFFF'FFFFu;

const MacBytes kMacA = {0x02, 0x00, 0x00, 0x00, 0x00, 0x09};
const MacBytes kMacB = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
const MacBytes kZero = {};
const MacBytes kBroadcastMac = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const MacBytes kMulticastMac = {0x01, 0x00, 0x5E, 0x00, 0x00, 0x01};

// All three sources log into one list, so a case can check which were asked and in
// what order.
struct FakeSources : ArpTableSource, ArpRequestSource, MacCacheSource {
    std::vector<ArpRow> rows;
    std::optional<MacBytes> answer;
    std::string cached;

    std::vector<std::string> log;
    std::uint32_t requested = 0;
    std::string cache_name;

    std::vector<ArpRow> ReadRows() override {
        log.push_back("table");
        return rows;
    }
    std::optional<MacBytes> Request(std::uint32_t target) override {
        log.push_back("request");
        requested = target;
        return answer;
    }
    std::string Read(const std::string& ip_text) override {
        log.push_back("cache");
        cache_name = ip_text;
        return cached;
    }
};

TEST(MacResolution, FormatsSixBytesUpperCaseJoinedByDashes) {
    EXPECT_EQ(FormatMacText(kMacA), "02-00-00-00-00-09");
    EXPECT_EQ(FormatMacText(kMacB), "AA-BB-CC-DD-EE-FF");
    EXPECT_EQ(FormatMacText({0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f}), "0A-1B-2C-3D-4E-5F");
    EXPECT_EQ(FormatMacText(kZero), "00-00-00-00-00-00");
}

TEST(MacResolution, AsksTheSourcesInOrderAndStopsAtTheFirstAnswer) {
    using Log = std::vector<std::string>;
    const Log table_only = {"table"};
    const Log up_to_request = {"table", "request"};
    const Log all = {"table", "request", "cache"};
    struct Case {
        const char* why;
        std::uint32_t target;
        std::vector<ArpRow> rows;
        std::optional<MacBytes> answer;
        std::string cached;
        std::string found;
        Log asked;
    };
    const Case cases[] = {
        {"table row for the target", kTarget, {{kOther, kMacB}, {kTarget, kMacA}}, kMacB, "11-11-11-11-11-11",
         "02-00-00-00-00-09", table_only},
        {"several rows for the target: the first wins", kTarget, {{kTarget, kMacB}, {kTarget, kMacA}}, {}, "",
         "AA-BB-CC-DD-EE-FF", table_only},
        {"all-zero row is passed over like another address", kTarget, {{kTarget, kZero}}, {}, "0A-0B-0C-0D-0E-0F",
         "0A-0B-0C-0D-0E-0F", all},
        {"all-zero row, then a real one for the same address", kTarget, {{kTarget, kZero}, {kTarget, kMacA}}, {},
         "", "02-00-00-00-00-09", table_only},
        {"all-zero row, the request answers", kTarget, {{kTarget, kZero}}, kMacB, "", "AA-BB-CC-DD-EE-FF",
         up_to_request},
        {"broadcast and multicast rows are passed over",
         kTarget, {{kTarget, kBroadcastMac}, {kTarget, kMulticastMac}, {kTarget, kMacA}}, {}, "",
         "02-00-00-00-00-09", table_only},
        {"group answers to the request count as none", kTarget, {{kTarget, kMulticastMac}}, kBroadcastMac,
         "02-00-00-00-00-09", "02-00-00-00-00-09", all},
        {"no row: the request answers", kTarget, {{kOther, kMacA}}, kMacB, "11-11-11-11-11-11",
         "AA-BB-CC-DD-EE-FF", up_to_request},
        {"request fails or cannot be made: the cache", kTarget, {}, std::nullopt, "0a:0b:0c:0d:0e:0f",
         "0a:0b:0c:0d:0e:0f", all},
        {"request answers all zero: the cache", kTarget, {}, kZero, "02-00-00-00-00-09", "02-00-00-00-00-09", all},
        {"cached text is not checked", kTarget, {}, {}, "not a mac", "not a mac", all},
        {"nobody knows", kTarget, {{kOther, kMacA}}, {}, "", "", all},
        {"unreadable text looks up the broadcast row", kBroadcast, {{kTarget, kMacA}, {kBroadcast, kMacB}}, {},
         "", "AA-BB-CC-DD-EE-FF", table_only},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeSources sources;
        sources.rows = c.rows;
        sources.answer = c.answer;
        sources.cached = c.cached;
        EXPECT_EQ(FindMacText("typed text", c.target, sources, sources, sources), c.found);
        EXPECT_EQ(sources.log, c.asked);
        if (c.asked.size() > 1) {
            EXPECT_EQ(sources.requested, c.target);
        }
        if (c.asked.size() > 2) {
            EXPECT_EQ(sources.cache_name, "typed text");
        }
    }
}

struct FakeField : MacField {
    std::vector<std::string> log;
    void SetMacField(const std::string& text) override { log.push_back("set " + text); }
    void FocusMacField() override { log.push_back("focus"); }
};

TEST(MacResolution, ShowsTheFoundTextOrTheZeroMacWithTheFocus) {
    FakeField found;
    EXPECT_TRUE(ShowFoundMac(found, "02-00-00-00-00-09"));
    EXPECT_EQ(found.log, std::vector<std::string>{"set 02-00-00-00-00-09"});

    FakeField nothing;
    EXPECT_FALSE(ShowFoundMac(nothing, ""));
    EXPECT_EQ(nothing.log, (std::vector<std::string>{"set 00-00-00-00-00-00", "focus"}));
}

struct FakeGetMacDialog : GetMacDialog {
    std::string field;
    std::vector<std::string> log;
    std::string text, caption;
    unsigned icon = 0;

    std::string ReadIpField() override {
        log.push_back("read");
        return field;
    }
    void ShowMessage(const std::string& t, const char* c, unsigned i) override {
        log.push_back("show");
        text = t;
        caption = c;
        icon = i;
    }
};

TEST(GetMacCommand, ReportsOnlyWhenNothingWasFound) {
    for (const bool found : {true, false}) {
        SCOPED_TRACE(found);
        FakeGetMacDialog dialog;
        dialog.field = "999.1.1.1";
        std::string resolved;
        RunGetMacCommand(dialog, [&](std::string ip_text) {
            dialog.log.push_back("resolve");
            resolved = ip_text;
            return found;
        });
        EXPECT_EQ(resolved, "999.1.1.1");
        if (found) {
            EXPECT_EQ(dialog.log, (std::vector<std::string>{"read", "resolve"}));
        } else {
            EXPECT_EQ(dialog.log, (std::vector<std::string>{"read", "resolve", "show"}));
            EXPECT_EQ(dialog.text, "Can't figure out MAC from IP.\nTry to write the MAC directly.");
            EXPECT_EQ(dialog.caption, "Error MAC no encontrada");
            EXPECT_EQ(dialog.icon, 16u);
        }
    }
}

}  // namespace
