#include "net/magic_sender-win32.h"

#include <gtest/gtest.h>

namespace {

// Opens sockets but never sends: the real-wire check runs end to end between namespaces.
class WinsockSender : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    }
    void TearDown() override { WSACleanup(); }
};

TEST_F(WinsockSender, OpensUdpSocketAndSetsBroadcastAsFourByteOne) {
    std::unique_ptr<WinsockDatagramSocket> socket = WinsockDatagramSocket::Open();
    ASSERT_TRUE(socket);

    int type = 0;
    int length = sizeof type;
    ASSERT_EQ(getsockopt(socket->get(), SOL_SOCKET, SO_TYPE, reinterpret_cast<char*>(&type), &length), 0);
    EXPECT_EQ(type, SOCK_DGRAM);

    ASSERT_TRUE(socket->EnableBroadcast());
    DWORD broadcast = 0;
    length = sizeof broadcast;
    ASSERT_EQ(getsockopt(socket->get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<char*>(&broadcast),
                         &length), 0);
    EXPECT_EQ(broadcast, 1u);
}

}  // namespace
