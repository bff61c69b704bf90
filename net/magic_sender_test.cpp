#include "net/magic_sender.h"

#include <gtest/gtest.h>

#include <string>
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

// The LAN of an address is the one rule for sending, sweeping and the ARP table: the
// local address with the longest mask that holds it, the first listed among equals;
// one without a broadcast address of its own (0.0.0.0, a /0, /31 or /32) holds nothing,
// so a PC behind it gets the off-LAN datagrams.
TEST(MagicSender, TheLanOfAnAddressIsTheLongestMaskThatHoldsIt) {
    const LocalIpv4Address vpn{{10, 0, 0, 1}, {255, 0, 0, 0}};
    const LocalIpv4Address office{{10, 1, 2, 7}, {255, 255, 255, 0}};
    const LocalIpv4Address office_too{{10, 1, 2, 8}, {255, 255, 255, 0}};
    const LocalIpv4Address half{{192, 168, 7, 130}, {255, 255, 255, 128}};
    const struct {
        const char* name;
        std::vector<LocalIpv4Address> locals;
        Ipv4 address;
        std::optional<Ipv4> lan;  // the local address of the LAN found
    } cases[] = {
        {"same /24", {office}, {10, 1, 2, 50}, Ipv4{10, 1, 2, 7}},
        {"another network", {office}, {10, 1, 3, 50}, std::nullopt},
        {"the second adapter's", {office, half}, {192, 168, 7, 200}, Ipv4{192, 168, 7, 130}},
        {"below a /25", {half}, {192, 168, 7, 100}, std::nullopt},
        {"a /8 listed before the /24", {vpn, office}, {10, 1, 2, 50}, Ipv4{10, 1, 2, 7}},
        {"the /24 listed before a /8", {office, vpn}, {10, 1, 2, 50}, Ipv4{10, 1, 2, 7}},
        {"only the /8 holds it", {vpn, office}, {10, 9, 9, 9}, Ipv4{10, 0, 0, 1}},
        {"equal masks: the first", {office, office_too}, {10, 1, 2, 50}, Ipv4{10, 1, 2, 7}},
        {"equal masks, the other order", {office_too, office}, {10, 1, 2, 50}, Ipv4{10, 1, 2, 8}},
        {"a /0 is no LAN", {{{10, 1, 2, 9}, {0, 0, 0, 0}}}, {8, 8, 8, 8}, std::nullopt},
        {"a /0 before a /24", {{{10, 1, 2, 9}, {0, 0, 0, 0}}, office}, {10, 1, 2, 50}, Ipv4{10, 1, 2, 7}},
        {"an adapter without an address", {{{0, 0, 0, 0}, {0, 0, 0, 0}}}, {10, 1, 2, 50}, std::nullopt},
        {"0.0.0.0 under a /24 mask", {{{0, 0, 0, 0}, {255, 255, 255, 0}}, office}, {10, 1, 2, 50},
         Ipv4{10, 1, 2, 7}},
        {"a /31", {{{10, 0, 0, 0}, {255, 255, 255, 254}}}, {10, 0, 0, 1}, std::nullopt},
        {"a /31 inside a /24", {{{10, 1, 2, 0}, {255, 255, 255, 254}}, office}, {10, 1, 2, 1}, Ipv4{10, 1, 2, 7}},
        {"a /32", {{{10, 0, 0, 5}, {255, 255, 255, 255}}}, {10, 0, 0, 5}, std::nullopt},
        {"a /32 inside a /24", {{{10, 1, 2, 9}, {255, 255, 255, 255}}, office}, {10, 1, 2, 9}, Ipv4{10, 1, 2, 7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<LocalIpv4Address> lan = LanOf(c.address, c.locals);
        ASSERT_EQ(lan.has_value(), c.lan.has_value());
        if (lan) {
            EXPECT_EQ(lan->address, *c.lan);
        }
        EXPECT_EQ(IsOnLocalLan(c.locals, c.address), c.lan.has_value());
        // Off every LAN: the address itself, then its /24 broadcast.
        EXPECT_EQ(OffLanEndpoints(c.locals, c.address, 9).size(), c.lan ? 0u : 2u);
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

// Which datagrams a wake gets, in order: "*" is the limited broadcast, a name ending in
// "<" is sent from a socket bound to that LAN's own address, the rest from unbound ones.
TEST(MagicSender, OffLanTargetsAlsoGetTheAddressAndItsSlash24Broadcast) {
    const std::vector<LocalIpv4Address> locals = {
        {{10, 77, 0, 1}, {255, 255, 255, 0}},
        {{0, 0, 0, 0}, {0, 0, 0, 0}},            // an adapter without an address matches nothing
        {{172, 16, 5, 4}, {255, 255, 240, 0}},   // a /20
        {{10, 90, 0, 129}, {255, 255, 255, 128}},  // a /25 whose broadcast is a /24's .255
    };
    struct Case {
        const char* name;
        std::optional<Ipv4> target;
        std::vector<WireEndpoint> also_to;
        std::vector<std::string> sent;
    };
    const WireEndpoint to_far_broadcast{{10, 80, 0, 255}, {0x9C, 0x40}};
    const WireEndpoint to_far_port9{{10, 80, 0, 2}, {0x00, 0x09}};
    const WireEndpoint to_local_broadcast{{10, 77, 0, 255}, {0x9C, 0x40}};
    const std::vector<std::string> lans = {"*", "10.77.0.255:40000<", "172.16.15.255:40000<",
                                           "10.90.0.255:40000<"};
    const auto with = [&lans](std::vector<std::string> more) {
        std::vector<std::string> all = lans;
        all.insert(all.end(), more.begin(), more.end());
        return all;
    };
    const Case cases[] = {
        {"no IP", std::nullopt, {}, lans},
        {"on a LAN", Ipv4{10, 77, 0, 2}, {}, lans},
        {"on the /20", Ipv4{172, 16, 14, 9}, {}, lans},
        {"off every LAN", Ipv4{10, 80, 0, 2}, {}, with({"10.80.0.2:40000", "10.80.0.255:40000"})},
        {"just past the /20", Ipv4{172, 16, 16, 9}, {}, with({"172.16.16.9:40000", "172.16.16.255:40000"})},
        {"the .255 of a /24", Ipv4{10, 80, 0, 255}, {}, with({"10.80.0.255:40000"})},
        {"the .0 of a /24", Ipv4{10, 80, 0, 0}, {}, with({"10.80.0.0:40000"})},
        {"its /24 broadcast is a LAN's", Ipv4{10, 90, 0, 7}, {}, with({"10.90.0.7:40000"})},
        {"0.x", Ipv4{0, 1, 2, 3}, {}, lans},
        {"loopback", Ipv4{127, 0, 0, 1}, {}, lans},
        {"multicast", Ipv4{224, 0, 0, 1}, {}, lans},
        {"the limited broadcast", Ipv4{255, 255, 255, 255}, {}, lans},
        {"/to only", std::nullopt, {to_far_broadcast, to_far_port9}, with({"10.80.0.255:40000", "10.80.0.2:9"})},
        {"/to after the far PC's own", Ipv4{10, 80, 0, 2}, {to_far_port9, to_far_broadcast, to_far_port9},
         with({"10.80.0.2:40000", "10.80.0.255:40000", "10.80.0.2:9"})},
        {"/to a LAN's broadcast", std::nullopt, {to_local_broadcast}, lans},
    };
    for (const Case& c : cases) {
        std::vector<std::string> sent;
        for (const MagicPacketRoute& route : MagicPacketRoutes(locals, 40000, c.target, c.also_to)) {
            if (route.to.address == Ipv4{255, 255, 255, 255} && !route.from) {
                sent.push_back("*");
                continue;
            }
            std::string text;
            for (std::uint8_t octet : route.to.address) text += std::to_string(octet) + ".";
            text.back() = ':';
            text += std::to_string(route.to.port[0] * 256 + route.to.port[1]);
            if (route.from) text += "<";
            sent.push_back(text);
        }
        EXPECT_EQ(sent, c.sent) << c.name;
    }
}

}  // namespace
