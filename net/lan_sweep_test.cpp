#include "net/lan_sweep.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

LocalIpv4Address Local(Ipv4Bytes address, Ipv4Bytes mask) { return LocalIpv4Address{address, mask}; }

const LocalIpv4Address kLan24 = Local({10, 77, 0, 1}, {255, 255, 255, 0});
const LocalIpv4Address kLan25 = Local({192, 168, 7, 130}, {255, 255, 255, 128});

// Every host address once, never the LAN's network or broadcast address, the typed one
// or this PC's own; nothing for a LAN of more than 254 host addresses.
TEST(LanSweep, AsksEveryHostAddressOfASmallLanButItsOwnAndTheTypedOne) {
    const struct {
        const char* name;
        LocalIpv4Address lan;
        std::vector<LocalIpv4Address> locals;
        Ipv4Bytes skip;
        std::size_t count;
        Ipv4Bytes first, last;
    } cases[] = {
        {"/24", kLan24, {kLan24}, {10, 77, 0, 2}, 252, {10, 77, 0, 3}, {10, 77, 0, 254}},
        {"/24, typed at the end", kLan24, {kLan24}, {10, 77, 0, 254}, 252, {10, 77, 0, 2}, {10, 77, 0, 253}},
        {"/24, two addresses of this PC", kLan24, {kLan24, Local({10, 77, 0, 50}, {255, 255, 255, 0})},
         {10, 77, 0, 2}, 251, {10, 77, 0, 3}, {10, 77, 0, 254}},
        {"/25", kLan25, {kLan25}, {1, 2, 3, 4}, 125, {192, 168, 7, 129}, {192, 168, 7, 254}},
        {"/30", Local({10, 0, 0, 1}, {255, 255, 255, 252}), {}, {0, 0, 0, 0}, 2, {10, 0, 0, 1}, {10, 0, 0, 2}},
        {"/23 is too large", Local({10, 0, 0, 1}, {255, 255, 254, 0}), {}, {0, 0, 0, 0}, 0, {}, {}},
        {"/16 is too large", Local({172, 16, 0, 1}, {255, 255, 0, 0}), {}, {0, 0, 0, 0}, 0, {}, {}},
    };
    for (const auto& c : cases) {
        const std::vector<Ipv4Bytes> addresses = SweepAddresses(c.lan, c.skip, c.locals);
        ASSERT_EQ(addresses.size(), c.count) << c.name;
        if (addresses.empty()) continue;
        EXPECT_EQ(addresses.front(), c.first) << c.name;
        EXPECT_EQ(addresses.back(), c.last) << c.name;
        std::map<Ipv4Bytes, int> seen;
        for (const Ipv4Bytes& a : addresses) EXPECT_EQ(++seen[a], 1) << c.name;
        EXPECT_EQ(seen.count(c.skip), 0u) << c.name;
    }
}

ArpRow Row(Ipv4Bytes address, MacBytes mac, std::uint32_t length = 6) {
    ArpRow row;
    std::memcpy(&row.address, address.data(), 4);  // network byte order, as the table gives it
    row.physical = HardwareAddress(mac, length);
    return row;
}

TEST(LanSweep, ReadsWhoIsWhereFromTheArpTable) {
    const MacBytes woken{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, other{0x02, 0, 0, 0, 0, 9};
    const Ipv4Bytes typed{10, 77, 0, 2};
    const struct {
        const char* name;
        std::vector<ArpRow> rows;
        std::optional<MacBytes> at_typed;
        std::optional<Ipv4Bytes> woken_at;
    } cases[] = {
        {"empty table", {}, std::nullopt, std::nullopt},
        {"the typed address and another", {Row(typed, other), Row({10, 77, 0, 40}, woken)}, other,
         Ipv4Bytes{10, 77, 0, 40}},
        {"an incomplete row, then the real one", {Row(typed, {}), Row(typed, woken)}, woken, std::nullopt},
        {"a multicast row", {Row(typed, {0x01, 0x00, 0x5E, 0, 0, 1})}, std::nullopt, std::nullopt},
        {"not a six-byte address", {Row(typed, other, 8), Row({10, 77, 0, 40}, woken, 8)}, std::nullopt,
         std::nullopt},
        {"the woken MAC on another LAN", {Row({10, 78, 0, 40}, woken)}, std::nullopt, std::nullopt},
        {"first in table order", {Row({10, 77, 0, 90}, woken), Row({10, 77, 0, 40}, woken)}, std::nullopt,
         Ipv4Bytes{10, 77, 0, 90}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ArpMacOf(c.rows, typed), c.at_typed) << c.name;
        EXPECT_EQ(ArpAddressOf(c.rows, woken, kLan24, typed), c.woken_at) << c.name;
    }
}

}  // namespace
