// The magic packet on the real wire: SendMagicPacket, run here under Wine in the
// program's namespace, judged in the peer namespace by tshark's Wake-on-LAN
// dissector and byte for byte against Debian's wakeonlan.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "net/adapter_list-win32.h"
#include "net/magic_sender-win32.h"
#include "net/socket-win32.h"
#include "tests/e2e/driver.h"
#include "tests/e2e/wire.h"

namespace {

using e2e::Capture;
using e2e::HostChange;
using e2e::Side;

constexpr int kWakePort = 40000;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    if (!text.empty() && text.back() == separator) parts.emplace_back();
    return parts;
}

std::unique_ptr<Capture> CaptureWakePackets() {
    return Capture::Start(Side::kPeer, "\"$TARVEX_PEER_IF\"", "udp port 40000");
}

const std::vector<std::string> kWakeFields = {"ip.dst", "udp.dstport", "udp.length", "wol.mac",
                                              "udp.payload"};

class MagicPacketWire : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(winsock_.started()); }
    WinsockSession winsock_;
};

struct WakeCase {
    const char* mac_text;
    const char* password;
    const char* decoded_mac;       // as tshark prints it
    int udp_length;                // 8-byte UDP header and the packet
    const char* password_payload;  // the packet's last six bytes in hex, when it has a password field
};

// The MAC in every spelling the text rule admits, and the password field's cases.
const WakeCase kWakeCases[] = {
    {"00-1A-2B-3C-4D-5E", "", "00:1a:2b:3c:4d:5e", 110, nullptr},
    {"ff:ee:dd:cc:bb:aa", "", "ff:ee:dd:cc:bb:aa", 110, nullptr},
    {"01 23.45-67:89xAB", "", "01:23:45:67:89:ab", 110, nullptr},
    {"00-1A-2B-3C-4D-5E", "abc", "00:1a:2b:3c:4d:5e", 116, "616263000000"},
    {"00-1A-2B-3C-4D-5E", "12345678", "00:1a:2b:3c:4d:5e", 116, "313233343536"},
};

TEST_F(MagicPacketWire, PeerDecodesTheLimitedAndTheDirectedBroadcastEachCarryingTheMac) {
    for (const WakeCase& c : kWakeCases) {
        SCOPED_TRACE(std::string(c.mac_text) + " password '" + c.password + "'");
        auto capture = CaptureWakePackets();
        ASSERT_TRUE(capture) << "capture did not start";
        ASSERT_TRUE(SendMagicPacket(c.mac_text, kWakePort, c.password));

        std::vector<std::string> packets = capture->Read("wol", kWakeFields);
        ASSERT_TRUE(capture->ok());
        ASSERT_EQ(packets.size(), 2u) << "datagrams tshark decoded as Wake-on-LAN";
        std::sort(packets.begin(), packets.end());
        for (std::size_t i = 0; i < packets.size(); ++i) {
            const std::vector<std::string> fields = Split(packets[i], '|');
            ASSERT_EQ(fields.size(), kWakeFields.size()) << packets[i];
            EXPECT_EQ(fields[0], i == 0 ? "10.77.0.255" : "255.255.255.255");
            EXPECT_EQ(fields[1], "40000");
            EXPECT_EQ(fields[2], std::to_string(c.udp_length));
            // The dissector reports each of the sixteen copies; every one must be the MAC.
            const std::vector<std::string> copies = Split(fields[3], ',');
            EXPECT_EQ(copies.size(), 16u) << fields[3];
            EXPECT_EQ(std::count(copies.begin(), copies.end(), c.decoded_mac), 16) << fields[3];
            const std::string& payload = fields[4];
            EXPECT_EQ(payload.size(), 2u * static_cast<size_t>(c.udp_length - 8));
            if (c.password_payload) {
                EXPECT_EQ(payload.substr(payload.size() - 12), c.password_payload);
            }
        }
    }
}

// The limited broadcast leaves through one adapter only; a machine on the program's
// second LAN hears the directed broadcast of that LAN.
TEST_F(MagicPacketWire, TheSecondLanHearsItsDirectedBroadcast) {
    ASSERT_NE(getenv("TARVEX_LAN2_NS"), nullptr) << "the test network has no second LAN";
    auto capture = Capture::Start(Side::kSecondLan, "\"$TARVEX_LAN2_PEER_IF\"", "udp port 40000");
    ASSERT_TRUE(capture) << "capture did not start";
    ASSERT_TRUE(SendMagicPacket("00-1A-2B-3C-4D-5E", kWakePort, ""));
    const std::vector<std::string> packets = capture->Read("wol", {"ip.src", "ip.dst", "udp.dstport", "wol.mac"});
    ASSERT_TRUE(capture->ok());
    ASSERT_EQ(packets.size(), 1u);
    const std::vector<std::string> fields = Split(packets[0], '|');
    ASSERT_EQ(fields.size(), 4u) << packets[0];
    EXPECT_EQ(fields[0], "10.78.0.1");
    EXPECT_EQ(fields[1], "10.78.0.255");
    EXPECT_EQ(fields[2], "40000");
    EXPECT_EQ(Split(fields[3], ',').at(0), "00:1a:2b:3c:4d:5e");
}

// What another implementation puts on the wire for the same MAC and port, both
// captured by the same peer.
TEST_F(MagicPacketWire, PayloadEqualsWhatWakeonlanSends) {
    const struct {
        const char* mac_text;
        const char* wakeonlan_mac;
    } cases[] = {
        {"00-1A-2B-3C-4D-5E", "00:1A:2B:3C:4D:5E"},
        {"a0:b1:c2:d3:e4:f5", "a0:b1:c2:d3:e4:f5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mac_text);
        auto ours = CaptureWakePackets();
        ASSERT_TRUE(ours);
        ASSERT_TRUE(SendMagicPacket(c.mac_text, kWakePort, ""));
        const std::vector<std::string> our_payload = ours->Read("ip.dst==255.255.255.255", {"udp.payload"});
        ASSERT_TRUE(ours->ok());

        auto theirs = CaptureWakePackets();
        ASSERT_TRUE(theirs);
        const auto sent = e2e::RunOnHost(std::string("wakeonlan -i 255.255.255.255 -p 40000 ") +
                                         c.wakeonlan_mac);
        ASSERT_TRUE(sent && sent->exit_code == 0) << (sent ? sent->output : "no answer");
        const std::vector<std::string> their_payload = theirs->Read("udp", {"udp.payload"});
        ASSERT_TRUE(theirs->ok());

        ASSERT_EQ(our_payload.size(), 1u);
        ASSERT_EQ(their_payload.size(), 1u);
        EXPECT_EQ(our_payload[0].size(), 2u * 102);
        EXPECT_EQ(our_payload[0], their_payload[0]);
    }
}

// A run of wakes through one MagicPacketSockets sends what single wakes send, each
// destination every time from the same source port: one socket per route, kept.
TEST_F(MagicPacketWire, ARunOfWakesKeepsOneSocketPerRoute) {
    auto capture = CaptureWakePackets();
    ASSERT_TRUE(capture);
    MagicPacketSockets sockets;
    const std::vector<LocalIpv4Address> locals = ReadLocalIpv4Addresses();
    ASSERT_TRUE(SendMagicPacket(sockets, "00-1A-2B-3C-4D-5E", kWakePort, "", locals));
    const std::size_t open = sockets.OpenCount();
    ASSERT_TRUE(SendMagicPacket(sockets, "00-1A-2B-3C-4D-5F", kWakePort, "", locals));
    EXPECT_EQ(sockets.OpenCount(), open);
    EXPECT_GE(open, 2u);  // the limited broadcast's and the LAN's directed one's
    std::vector<std::string> packets = capture->Read("wol", {"ip.dst", "udp.srcport"});
    ASSERT_TRUE(capture->ok());
    ASSERT_EQ(packets.size(), 4u);
    std::sort(packets.begin(), packets.end());
    EXPECT_EQ(packets[0], packets[1]);
    EXPECT_EQ(packets[2], packets[3]);
    EXPECT_EQ(packets[0].rfind("10.77.0.255|", 0), 0u) << packets[0];
    EXPECT_EQ(packets[2].rfind("255.255.255.255|", 0), 0u) << packets[2];
}

TEST_F(MagicPacketWire, FailsOnlyWhenNoBroadcastCanLeave) {
    {
        HostChange no_route(e2e::kDropBroadcastRoute, e2e::kRestoreBroadcastRoute);
        ASSERT_TRUE(no_route.applied()) << no_route.output();
        {
            // The limited broadcast cannot leave; the LAN's directed one still does.
            auto capture = CaptureWakePackets();
            ASSERT_TRUE(capture);
            EXPECT_TRUE(SendMagicPacket("00-1A-2B-3C-4D-5E", kWakePort, ""));
            EXPECT_EQ(capture->Read("udp", {"ip.dst"}), std::vector<std::string>{"10.77.0.255"});
        }
        HostChange no_lan(e2e::kDropLanAddresses, e2e::kRestoreLanAddresses);
        ASSERT_TRUE(no_lan.applied()) << no_lan.output();
        auto capture = CaptureWakePackets();
        ASSERT_TRUE(capture);
        EXPECT_FALSE(SendMagicPacket("00-1A-2B-3C-4D-5E", kWakePort, ""));
        EXPECT_EQ(capture->Count("udp"), 0);
    }
    // The route and the addresses are back for whatever runs next, and with them both broadcasts.
    const auto route = e2e::RunOnHost("ip route show 255.255.255.255/32; ip addr show");
    ASSERT_TRUE(route);
    EXPECT_NE(route->output.find("255.255.255.255"), std::string::npos) << route->output;
    EXPECT_NE(route->output.find("10.77.0.1/24"), std::string::npos) << route->output;
    EXPECT_TRUE(SendMagicPacket("00-1A-2B-3C-4D-5E", kWakePort, ""));
}

}  // namespace
