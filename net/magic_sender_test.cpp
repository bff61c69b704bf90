#include "net/magic_sender.h"

#include <gtest/gtest.h>

#include <string>

#include "net/magic_packet.h"

namespace {

// Records every call in order, including the close that destroying a socket means.
struct CallLog {
    std::vector<std::string> calls;
    std::vector<WireEndpoint> destinations;
    std::vector<std::vector<std::uint8_t>> datagrams;
};

struct Failures {
    bool open = false;
    bool broadcast = false;
    bool send = false;
};

class FakeSocket final : public DatagramSocket {
public:
    FakeSocket(CallLog& log, const Failures& fail) : log_(log), fail_(fail) {}
    ~FakeSocket() override { log_.calls.push_back("close"); }

    bool EnableBroadcast() override {
        log_.calls.push_back("broadcast");
        return !fail_.broadcast;
    }
    bool SendTo(const WireEndpoint& to, const std::vector<std::uint8_t>& bytes) override {
        log_.calls.push_back("send");
        log_.destinations.push_back(to);
        log_.datagrams.push_back(bytes);
        return !fail_.send;
    }

private:
    CallLog& log_;
    Failures fail_;
};

class FakeSockets final : public DatagramSockets {
public:
    explicit FakeSockets(Failures fail = {}) : fail_(fail) {}
    std::unique_ptr<DatagramSocket> OpenUdp() override {
        log.calls.push_back("open");
        if (fail_.open) return nullptr;
        return std::make_unique<FakeSocket>(log, fail_);
    }
    CallLog log;

private:
    Failures fail_;
};

using Calls = std::vector<std::string>;

TEST(MagicSender, BroadcastsOneDatagramAndCloses) {
    FakeSockets sockets;
    EXPECT_TRUE(SendMagicPacket(sockets, "00-1A-2B-3C-4D-5E", 40000, ""));
    EXPECT_EQ(sockets.log.calls, (Calls{"open", "broadcast", "send", "close"}));
    ASSERT_EQ(sockets.log.destinations.size(), 1u);
    const WireEndpoint broadcast_40000{{0xFF, 0xFF, 0xFF, 0xFF}, {0x9C, 0x40}};
    EXPECT_EQ(sockets.log.destinations[0], broadcast_40000);
    EXPECT_EQ(sockets.log.datagrams[0], BuildMagicPacket("00-1A-2B-3C-4D-5E", ""));
    EXPECT_EQ(sockets.log.datagrams[0].size(), kMagicPacketSize);
}

TEST(MagicSender, SendsThePasswordField) {
    FakeSockets sockets;
    EXPECT_TRUE(SendMagicPacket(sockets, "00-1A-2B-3C-4D-5E", 40000, "secret"));
    ASSERT_EQ(sockets.log.datagrams.size(), 1u);
    EXPECT_EQ(sockets.log.datagrams[0], BuildMagicPacket("00-1A-2B-3C-4D-5E", "secret"));
    EXPECT_EQ(sockets.log.datagrams[0].size(), kMagicPacketWithPasswordSize);
}

TEST(MagicSender, FailsAndClosesWhenAnyCallFails) {
    struct Case {
        Failures fail;
        Calls calls;
        const char* why;
    };
    const Case cases[] = {
        {{true, false, false}, {"open"}, "socket fails: nothing to close"},
        {{false, true, false}, {"open", "broadcast", "close"}, "setsockopt fails"},
        {{false, false, true}, {"open", "broadcast", "send", "close"}, "sendto fails"},
    };
    for (const Case& c : cases) {
        FakeSockets sockets(c.fail);
        EXPECT_FALSE(SendMagicPacket(sockets, "00-1A-2B-3C-4D-5E", 40000, "pw")) << c.why;
        EXPECT_EQ(sockets.log.calls, c.calls) << c.why;
    }
}

TEST(MagicSender, OpensNoSocketForTooShortMacText) {
    FakeSockets sockets;
    EXPECT_FALSE(SendMagicPacket(sockets, "00-1A-2B", 40000, ""));
    EXPECT_TRUE(sockets.log.calls.empty());
}

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
