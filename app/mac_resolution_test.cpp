#include "app/mac_resolution.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_dialog_fake_test.h"

namespace {

constexpr std::uint32_t kTarget = 0x0900'4D0Au;  // 10.77.0.9 in network byte order on a little-endian host
constexpr std::uint32_t kOther = 0x0200'4D0Au;   // 10.77.0.2

const MacBytes kMacA = {0x02, 0x00, 0x00, 0x00, 0x00, 0x09};
const MacBytes kMacB = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
const MacBytes kZero = {};
const MacBytes kBroadcastMac = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
const MacBytes kMulticastMac = {0x01, 0x00, 0x5E, 0x00, 0x00, 0x01};

// All three sources log into one list, so a case can check which were asked and in
// what order.
struct FakeSources : ArpTableSource, ArpRequestSource, MacCacheSource {
    std::vector<ArpRow> rows;
    std::optional<HardwareAddress> answer;
    std::string cached;

    std::vector<std::string> log;
    std::uint32_t requested = 0;
    std::string cache_name;

    std::vector<ArpRow> ReadRows() override {
        log.push_back("table");
        return rows;
    }
    std::optional<HardwareAddress> Request(std::uint32_t target) override {
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

TEST(MacResolution, AsksTheSourcesInOrderAndStopsAtTheFirstAnswer) {
    using Log = std::vector<std::string>;
    const Log table_only = {"table"};
    const Log up_to_request = {"table", "request"};
    const Log all = {"table", "request", "cache"};
    struct Case {
        const char* why;
        std::optional<std::uint32_t> target;
        std::vector<ArpRow> rows;
        std::optional<HardwareAddress> answer;
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
        // Another kind of link, or a broken row: its bytes are no MAC.
        {"rows and answers not six bytes long count as none", kTarget,
         {{kTarget, HardwareAddress(kMacB, 8)}, {kTarget, HardwareAddress(kMacB, 0)}}, HardwareAddress(kMacA, 4),
         "0a:0b:0c:0d:0e:0f", "0a:0b:0c:0d:0e:0f", all},
        {"a cached text comes without blanks around it", kTarget, {}, {}, " 0A-0B-0C-0D-0E-0F\t",
         "0A-0B-0C-0D-0E-0F", all},
        {"cached text is not checked", kTarget, {}, {}, "not a mac", "not a mac", all},
        {"nobody knows", kTarget, {{kOther, kMacA}}, {}, "", "", all},
        // 255.255.255.255 reads as an address and is looked for like any other.
        {"the broadcast address", 0xFFFF'FFFFu, {{kTarget, kMacA}, {0xFFFF'FFFFu, kMacB}}, {}, "",
         "AA-BB-CC-DD-EE-FF", table_only},
        {"no address: only the cache, however many rows", std::nullopt, {{0xFFFF'FFFFu, kMacB}, {0, kMacA}},
         kMacB, "0A-0B-0C-0D-0E-0F", "0A-0B-0C-0D-0E-0F", {"cache"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        FakeSources sources;
        sources.rows = c.rows;
        sources.answer = c.answer;
        sources.cached = c.cached;
        EXPECT_EQ(FindMacText("typed text", c.target, sources, sources, sources), c.found);
        EXPECT_EQ(sources.log, c.asked);
        if (c.target && c.asked.size() > 1) {
            EXPECT_EQ(sources.requested, c.target);
        }
        if (c.asked.back() == "cache") {
            EXPECT_EQ(sources.cache_name, "typed text");
        }
    }
}

TEST(GetMacCommand, FillsTheMacFieldAndReportsOnlyWhenNothingWasFound) {
    const std::string not_found = "show Can't figure out MAC from IP.\nTry to write the MAC directly. | "
                                  "Error MAC no encontrada | 16";
    struct Case {
        std::string found;
        std::vector<std::string> log;
        MacResult result;
    };
    const Case cases[] = {
        {"02-00-00-00-00-09", {"read ip", "find", "set mac 02-00-00-00-00-09"}, MacResult::kFound},
        {"", {"read ip", "find", "set mac 00-00-00-00-00-00", "focus mac", not_found}, MacResult::kNotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.found);
        FakeMainDialog dialog;
        // Found by the text without the blanks a paste brought along.
        dialog.fields[DialogField::kIpAddress] = " 999.1.1.1\t";
        std::string asked;
        GetMacCommand(dialog, [&](const std::string& ip_text) {
            dialog.Note("find");
            asked = ip_text;
            return c.found;
        });
        EXPECT_EQ(asked, "999.1.1.1");
        EXPECT_EQ(dialog.log, c.log);
        EXPECT_EQ(DecideMac(c.found).result, c.result);
    }
}

}  // namespace
