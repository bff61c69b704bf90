#include "net/magic_sender.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Ipv4 = std::array<std::uint8_t, 4>;

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

TEST(MagicSender, DirectedBroadcastIsAddressOrNotMaskForAddressesWithALan) {
    struct Case {
        Ipv4 address, mask;
        std::optional<Ipv4> broadcast;
    };
    const Case cases[] = {
        {{10, 77, 0, 1}, {255, 255, 255, 0}, Ipv4{10, 77, 0, 255}},
        {{192, 168, 1, 20}, {255, 255, 255, 0}, Ipv4{192, 168, 1, 255}},
        {{10, 0, 0, 5}, {255, 0, 0, 0}, Ipv4{10, 255, 255, 255}},
        {{172, 16, 5, 4}, {255, 255, 240, 0}, Ipv4{172, 16, 15, 255}},
        {{10, 1, 1, 9}, {255, 255, 255, 252}, Ipv4{10, 1, 1, 11}},  // /30: the smallest with a broadcast
        {{10, 1, 1, 8}, {255, 255, 255, 254}, std::nullopt},        // /31
        {{10, 1, 1, 8}, {255, 255, 255, 255}, std::nullopt},        // /32
        {{0, 0, 0, 0}, {0, 0, 0, 0}, std::nullopt},                 // an adapter without an address
        {{0, 0, 0, 0}, {255, 255, 255, 0}, std::nullopt},
        {{127, 0, 0, 1}, {255, 0, 0, 0}, std::nullopt},
        {{10, 77, 0, 1}, {0, 0, 0, 0}, std::nullopt},               // /0: the limited broadcast
    };
    for (const Case& c : cases) {
        const std::optional<WireEndpoint> to = DirectedBroadcastEndpoint({c.address, c.mask}, 40000);
        ASSERT_EQ(to.has_value(), c.broadcast.has_value()) << int(c.address[0]) << "." << int(c.address[3]);
        if (!to) continue;
        EXPECT_EQ(to->address, *c.broadcast);
        EXPECT_EQ(to->port, (std::array<std::uint8_t, 2>{0x9C, 0x40}));
    }
}

TEST(MagicSender, RoutesAreTheLimitedBroadcastThenEveryLanFromItsOwnAddress) {
    const std::vector<LocalIpv4Address> locals = {
        {{10, 77, 0, 1}, {255, 255, 255, 0}},
        {{0, 0, 0, 0}, {0, 0, 0, 0}},  // no LAN: no route
        {{10, 78, 0, 1}, {255, 255, 255, 0}},
    };
    const std::vector<MagicPacketRoute> routes = MagicPacketRoutes(locals, 40000);
    ASSERT_EQ(routes.size(), 3u);
    EXPECT_EQ(routes[0].from, std::nullopt);
    EXPECT_EQ(routes[0].to.address, (Ipv4{255, 255, 255, 255}));
    EXPECT_EQ(routes[1].from, (Ipv4{10, 77, 0, 1}));
    EXPECT_EQ(routes[1].to.address, (Ipv4{10, 77, 0, 255}));
    EXPECT_EQ(routes[2].from, (Ipv4{10, 78, 0, 1}));
    EXPECT_EQ(routes[2].to.address, (Ipv4{10, 78, 0, 255}));
    EXPECT_EQ(MagicPacketRoutes({}, 40000).size(), 1u);
}

}  // namespace
