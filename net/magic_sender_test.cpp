#include "net/magic_sender.h"

#include <gtest/gtest.h>

namespace {

TEST(MagicSender, PutsTheLowSixteenPortBitsInNetworkOrder) {
    struct Case {
        int port;
        std::uint8_t high, low;
    };
    const Case cases[] = {
        {40000, 0x9C, 0x40}, {9, 0x00, 0x09},      {7, 0x00, 0x07},       {65535, 0xFF, 0xFF},
        {0x10007, 0x00, 0x07}, {-1, 0xFF, 0xFF},   {0x1234, 0x12, 0x34},
    };
    for (const Case& c : cases) {
        const WireEndpoint to = LimitedBroadcastEndpoint(c.port);
        EXPECT_EQ(to.address, (std::array<std::uint8_t, 4>{0xFF, 0xFF, 0xFF, 0xFF})) << c.port;
        EXPECT_EQ(to.port, (std::array<std::uint8_t, 2>{c.high, c.low})) << c.port;
    }
}

}  // namespace
