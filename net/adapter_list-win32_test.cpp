#include "net/adapter_list-win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// The unit tests run in the test network, whose program side is 10.77.0.1/24.
TEST(LocalIpv4Addresses, ListTheTestNetworkAddressWithItsMask) {
    const std::vector<LocalIpv4Address> addresses = ReadLocalIpv4Addresses();
    const bool found = std::any_of(addresses.begin(), addresses.end(), [](const LocalIpv4Address& a) {
        return a.address == std::array<std::uint8_t, 4>{10, 77, 0, 1} &&
               a.mask == std::array<std::uint8_t, 4>{255, 255, 255, 0};
    });
    EXPECT_TRUE(found);
}

}  // namespace
