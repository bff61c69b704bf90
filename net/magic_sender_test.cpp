#include "net/magic_sender.h"

#include <gtest/gtest.h>

#include <string>

#include "net/magic_packet.h"

namespace {

// Records every call in order, including the close that destroying a socket means.
struct CallLog {
    std::vector<std::string> calls;
    std::vector<WireEndpoint> destinations;
    std::vector<std::array<std::uint8_t, 4>> bound;
    std::vector<std::vector<std::uint8_t>> datagrams;
};

struct Failures {
    bool open = false;
    bool broadcast = false;
    bool send = false;
    bool bind = false;
};

class FakeSocket final : public DatagramSocket {
public:
    FakeSocket(CallLog& log, const Failures& fail) : log_(log), fail_(fail) {}
    ~FakeSocket() override { log_.calls.push_back("close"); }

    bool EnableBroadcast() override {
        log_.calls.push_back("broadcast");
        return !fail_.broadcast;
    }
    bool BindTo(const std::array<std::uint8_t, 4>& address) override {
        log_.calls.push_back("bind");
        log_.bound.push_back(address);
        return !fail_.bind;
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
    EXPECT_TRUE(SendMagicPacket(sockets, "00-1A-2B-3C-4D-5E", 40000, "", {}));
    EXPECT_EQ(sockets.log.calls, (Calls{"open", "broadcast", "send", "close"}));
    ASSERT_EQ(sockets.log.destinations.size(), 1u);
    const WireEndpoint broadcast_40000{{0xFF, 0xFF, 0xFF, 0xFF}, {0x9C, 0x40}};
    EXPECT_EQ(sockets.log.destinations[0], broadcast_40000);
    EXPECT_EQ(sockets.log.datagrams[0], BuildMagicPacket("00-1A-2B-3C-4D-5E", ""));
    EXPECT_EQ(sockets.log.datagrams[0].size(), kMagicPacketSize);
}

TEST(MagicSender, SendsThePasswordField) {
    FakeSockets sockets;
    EXPECT_TRUE(SendMagicPacket(sockets, "00-1A-2B-3C-4D-5E", 40000, "secret", {}));
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
        EXPECT_FALSE(SendMagicPacket(sockets, "00-1A-2B-3C-4D-5E", 40000, "pw", {})) << c.why;
        EXPECT_EQ(sockets.log.calls, c.calls) << c.why;
    }
}

TEST(MagicSender, OpensNoSocketForTooShortMacText) {
    FakeSockets sockets;
    EXPECT_FALSE(SendMagicPacket(sockets, "00-1A-2B", 40000, "", {}));
    EXPECT_TRUE(sockets.log.calls.empty());
}

using Ipv4 = std::array<std::uint8_t, 4>;

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

TEST(MagicSender, AlsoSendsToEveryLanFromASocketBoundToItsAddress) {
    FakeSockets sockets;
    const std::vector<LocalIpv4Address> locals = {
        {{10, 77, 0, 1}, {255, 255, 255, 0}},
        {{0, 0, 0, 0}, {0, 0, 0, 0}},  // skipped: no LAN
        {{10, 78, 0, 1}, {255, 255, 255, 0}},
    };
    EXPECT_TRUE(SendMagicPacket(sockets, "00-1A-2B-3C-4D-5E", 40000, "", locals));
    EXPECT_EQ(sockets.log.calls, (Calls{"open", "broadcast", "send", "close",           //
                                        "open", "broadcast", "bind", "send", "close",   //
                                        "open", "broadcast", "bind", "send", "close"}));
    EXPECT_EQ(sockets.log.bound, (std::vector<Ipv4>{{10, 77, 0, 1}, {10, 78, 0, 1}}));
    ASSERT_EQ(sockets.log.destinations.size(), 3u);
    EXPECT_EQ(sockets.log.destinations[0].address, (Ipv4{255, 255, 255, 255}));
    EXPECT_EQ(sockets.log.destinations[1].address, (Ipv4{10, 77, 0, 255}));
    EXPECT_EQ(sockets.log.destinations[2].address, (Ipv4{10, 78, 0, 255}));
    for (const auto& datagram : sockets.log.datagrams) EXPECT_EQ(datagram, sockets.log.datagrams[0]);
}

TEST(MagicSender, FailsOnlyWhenNoDatagramWentOut) {
    const std::vector<LocalIpv4Address> one_lan = {{{10, 77, 0, 1}, {255, 255, 255, 0}}};
    struct Case {
        Failures fail;
        std::vector<LocalIpv4Address> locals;
        bool sent;
        const char* why;
    };
    const Case cases[] = {
        {{false, false, false, true}, one_lan, true, "binding fails: the limited broadcast went out"},
        {{false, false, true, false}, one_lan, false, "every send fails"},
        {{true, false, false, false}, one_lan, false, "no socket at all"},
        {{false, false, false, false}, {{{0, 0, 0, 0}, {0, 0, 0, 0}}}, true, "no LAN: the limited broadcast alone"},
    };
    for (const Case& c : cases) {
        FakeSockets sockets(c.fail);
        EXPECT_EQ(SendMagicPacket(sockets, "00-1A-2B-3C-4D-5E", 40000, "", c.locals), c.sent) << c.why;
    }
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
