#include "net/socket-win32.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(SocketAddress, TakesAddressAndPortBytesAsTheyAre) {
    const sockaddr_in addr = ToSockaddr({0xFF, 0xFF, 0xFF, 0xFF}, {0x9C, 0x40});
    EXPECT_EQ(addr.sin_family, AF_INET);
    EXPECT_EQ(addr.sin_port, htons(40000));
    EXPECT_EQ(addr.sin_addr.s_addr, htonl(INADDR_BROADCAST));
    const char zero[sizeof addr.sin_zero] = {};
    EXPECT_EQ(std::memcmp(addr.sin_zero, zero, sizeof zero), 0);
}

}  // namespace
