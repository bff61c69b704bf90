// The command line as a script meets it: the program started with arguments and its
// standard output on a pipe, judged by what it prints, its exit code and the magic
// packets the peer receives.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/cache_entries.h"
#include "tests/e2e/driver.h"
#include "tests/e2e/wire.h"

namespace {

TEST(CommandLineE2e, WakeAndCheckPrintTheirLineEndWithTheirCodeAndSendOnlyWhatTheySay) {
    struct Case {
        const char* arguments;
        DWORD exit_code;
        std::string output;
        const char* woken;  // the MAC the peer receives, as tshark prints it; null: nothing
    };
    const Case cases[] = {
        {"/wake 00-1A-2B-3C-4D-5E", 0, "Magic packet sent to 00-1A-2B-3C-4D-5E.\r\n", "00:1a:2b:3c:4d:5e"},
        // A machine woken once before, by its address alone.
        {"-WAKE 10.77.0.46", 0, "Magic packet sent to 02-00-00-00-00-46.\r\n", "02:00:00:00:00:46"},
        {"/wake 00-1A-2B-3C-4D-ZZ", 2, "The MAC is invalid: 00-1A-2B-3C-4D-ZZ\r\n", nullptr},
        {"/check 10.77.0.2", 0, "The PC with IP 10.77.0.2 is on\r\n", nullptr},
        {"/check 10.77.0.3", 1, "The PC with IP 10.77.0.3 is off\r\n", nullptr},
    };
    ASSERT_TRUE(e2e::PutCacheEntry("10.77.0.46", "02-00-00-00-00-46"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const auto capture = e2e::Capture::Start(e2e::Side::kPeer, "\"$TARVEX_PEER_IF\"", "udp port 40000");
        ASSERT_TRUE(capture) << "no capture at the peer";
        const e2e::CommandRun run = e2e::RunProgramWithArguments(c.arguments);
        EXPECT_EQ(run.exit_code, std::optional<DWORD>(c.exit_code));
        EXPECT_EQ(run.output, c.output);
        const std::vector<std::string> macs = capture->Read("wol", {"wol.mac"});
        ASSERT_TRUE(capture->ok());
        // The limited broadcast and the LAN's directed one.
        EXPECT_EQ(macs.size(), c.woken ? 2u : 0u);
        for (const std::string& mac : macs) EXPECT_EQ(mac.substr(0, mac.find(',')), c.woken);
    }
    e2e::DeleteCacheEntry("10.77.0.46");
}

}  // namespace
