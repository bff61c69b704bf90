// A PC beyond a router (the test network's far LAN, TARVEX_FAR_LAN=1): what reaches it
// of a wake from the command line, captured in its own namespace behind the router.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/e2e/cache_entries.h"
#include "tests/e2e/driver.h"
#include "tests/e2e/wire.h"

namespace {

constexpr char kFarMac[] = "02-80-00-00-00-02";
constexpr char kFarMacDecoded[] = "02:80:00:00:00:02";

class FarLan : public ::testing::Test {
protected:
    void SetUp() override {
        if (getenv("TARVEX_FAR_NS") == nullptr) GTEST_SKIP() << "the test network has no far LAN (TARVEX_FAR_LAN=1)";
    }
    void TearDown() override { e2e::DeleteCacheEntry("10.80.0.2"); }
};

TEST_F(FarLan, AWakeReachesThePcBeyondTheRouterByItsAddressItsSubnetsBroadcastAndEveryTo) {
    struct Case {
        std::string arguments;
        std::vector<std::string> heard;  // "ip.dst:port" of each magic packet at the far PC, sorted
    };
    const std::string wake = std::string("/wake ") + kFarMac;
    const Case cases[] = {
        // Off every LAN of the program: the PC's own address and its /24's broadcast, once each.
        {wake + " /ip 10.80.0.2", {"10.80.0.255:40000", "10.80.0.2:40000"}},
        {wake + " /to 10.80.0.255", {"10.80.0.255:40000"}},
        // A name from the hosts file, with a port of its own.
        {wake + " /to far-pc:9", {"10.80.0.2:9"}},
        {wake + " /ip 10.80.0.2 /to 10.80.0.255 /to far-pc:9", {"10.80.0.255:40000", "10.80.0.2:40000", "10.80.0.2:9"}},
        // On the program's own LAN: only the broadcasts of its LANs, none of which gets past the router.
        {wake + " /ip 10.77.0.2", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        auto capture = e2e::Capture::Start(e2e::Side::kFarLan, "\"$TARVEX_FAR_IF\"", "udp");
        ASSERT_TRUE(capture) << "no capture at the far PC";
        const e2e::CommandRun run = e2e::RunProgramWithArguments(c.arguments);
        EXPECT_EQ(run.exit_code, std::optional<DWORD>(0));
        EXPECT_EQ(run.output, std::string("Magic packet sent to ") + kFarMac + ".\r\n");
        std::vector<std::string> heard;
        for (const std::string& line : capture->Read("wol", {"ip.dst", "udp.dstport", "wol.mac"})) {
            const std::size_t bar = line.find('|'), second = line.find('|', bar + 1);
            heard.push_back(line.substr(0, bar) + ":" + line.substr(bar + 1, second - bar - 1));
            EXPECT_EQ(line.substr(second + 1, 17), kFarMacDecoded) << line;
        }
        ASSERT_TRUE(capture->ok());
        std::vector<std::string> expected = c.heard;
        std::sort(expected.begin(), expected.end());
        std::sort(heard.begin(), heard.end());
        EXPECT_EQ(heard, expected);
        e2e::DeleteCacheEntry("10.77.0.2");
    }
}

TEST_F(FarLan, AToNameThatDoesNotResolveIsABadInputAndNothingIsSent) {
    auto capture = e2e::Capture::Start(e2e::Side::kProgram, "any", "udp port 40000 or udp port 9");
    ASSERT_TRUE(capture) << "no capture in the program's namespace";
    const e2e::CommandRun run =
        e2e::RunProgramWithArguments(std::string("/wake ") + kFarMac + " /to far-pc /to nosuch-host:9");
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(2));
    EXPECT_EQ(run.output, "Cannot resolve /to host: nosuch-host\r\n");
    EXPECT_EQ(capture->Count("udp"), 0);
}

// The far PC answers pings through the router, before its packet too: the watch reports
// it as the dialog would, and behind a router no ARP row can name another device (nor
// is a LAN swept).
TEST_F(FarLan, AWaitThroughTheRouterReportsThePcAlreadyOn) {
    const e2e::CommandRun run =
        e2e::RunProgramWithArguments(std::string("/wake ") + kFarMac + " /ip 10.80.0.2 /wait /timeout 10", 30000);
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(0));
    EXPECT_EQ(run.output, "The PC was already on.\r\n");
}

}  // namespace
