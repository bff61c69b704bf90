#include "net/echo_packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// One's-complement sum of 16-bit words in wire order, written independently of
// the code under test: a correct checksum makes the sum over a message 0xFFFF.
std::uint16_t OnesComplementSum(const std::uint8_t* p, std::size_t n) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < n; i += 2) sum += (p[i] << 8) | (i + 1 < n ? p[i + 1] : 0);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(sum);
}

TEST(InternetChecksum, MatchesKnownValues) {
    struct Case {
        Bytes data;
        std::uint16_t checksum;
    };
    const Case cases[] = {
        // RFC 1071 section 3: the sum of these words is 0xDDF2, its complement 0x220D.
        {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D},
        // Odd length: the last byte is the high byte of a word padded with zero.
        {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7, 0x01}, 0x210D},
        // Carries must be folded back in: 0xFFFF + 0x0001 = 0x0001 (end-around carry).
        {{0xFF, 0xFF, 0x00, 0x01}, 0xFFFE},
        {{}, 0xFFFF},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComputeInternetChecksum(c.data.data(), c.data.size()), c.checksum)
            << "size " << c.data.size();
    }
}

TEST(EchoRequest, HasTheFixedLayout) {
    const EchoRequest m = BuildEchoRequest(0x11223344u, 0xA1B2C3D4u);
    EXPECT_EQ(m.size(), 48u);
    EXPECT_EQ(m[0], 8);  // echo request
    EXPECT_EQ(m[1], 0);
    const Bytes id_seq(m.begin() + 4, m.begin() + 8);
    EXPECT_EQ(id_seq, (Bytes{0x01, 0x00, 0x01, 0x00}));
    const Bytes value(m.begin() + 8, m.begin() + 12);
    EXPECT_EQ(value, (Bytes{0xD4, 0xC3, 0xB2, 0xA1}));
    const Bytes stamp(m.begin() + 12, m.begin() + 16);
    EXPECT_EQ(stamp, (Bytes{0x44, 0x33, 0x22, 0x11}));  // least significant byte first
    for (int i = 0; i < 32; ++i) EXPECT_EQ(m[16 + i], 0x20 + i) << "data byte " << i;
}

TEST(EchoRequest, ChecksumMakesTheWholeMessageSumToAllOnes) {
    for (std::uint32_t tick : {0u, 1u, 0x11223344u, 0xFFFFFFFFu, 0x80000000u}) {
        const EchoRequest m = BuildEchoRequest(tick, ~tick);
        EXPECT_EQ(OnesComplementSum(m.data(), m.size()), 0xFFFF) << "tick " << tick;
    }
}

// A received datagram: IP header (20 bytes plus `options`), then `icmp`, then `pad`.
Bytes Datagram(const Ipv4Bytes& source, const Bytes& icmp, std::size_t options = 0,
               std::size_t pad = 0) {
    const std::size_t header = 20 + options;
    Bytes d(header + icmp.size() + pad, 0);
    d[0] = static_cast<std::uint8_t>(0x40 | (header / 4));
    d[8] = 64;  // TTL
    d[9] = 1;   // ICMP
    for (int b = 0; b < 4; ++b) d[12 + b] = source[b];
    for (int b = 0; b < 4; ++b) d[16 + b] = static_cast<std::uint8_t>(10 + b);
    for (std::size_t i = 20; i < header; ++i) d[i] = 1;  // NOP options
    std::copy(icmp.begin(), icmp.end(), d.begin() + static_cast<std::ptrdiff_t>(header));
    const std::size_t total = d.size();
    d[2] = static_cast<std::uint8_t>(total >> 8);
    d[3] = static_cast<std::uint8_t>(total & 0xFF);
    return d;
}

// The reply the probed machine sends: our request with type 0 and a new checksum.
Bytes ReplyTo(const EchoRequest& request) {
    Bytes icmp(request.begin(), request.end());
    icmp[0] = 0;
    icmp[2] = icmp[3] = 0;
    const std::uint16_t c = ComputeInternetChecksum(icmp.data(), icmp.size());
    icmp[2] = static_cast<std::uint8_t>(c >> 8);
    icmp[3] = static_cast<std::uint8_t>(c & 0xFF);
    return icmp;
}

TEST(EchoReply, CountsOnlyOurReplyFromTheProbedAddress) {
    const Ipv4Bytes probed = {10, 77, 0, 2};
    constexpr std::uint32_t kValue = 0x5EED1234u;
    const EchoRequest request = BuildEchoRequest(12345, kValue);
    const Bytes reply = ReplyTo(request);
    // The same request from another probe, or from an earlier one of the same address.
    const Bytes other_probes_reply = ReplyTo(BuildEchoRequest(12345, 0x5EED1235u));
    const Bytes zero_filler_reply = ReplyTo(BuildEchoRequest(12345, 0));

    Bytes wrong_id = reply;
    wrong_id[4] = 0x00;
    wrong_id[5] = 0x01;  // identifier 1 in network byte order is not ours
    Bytes wrong_seq = reply;
    wrong_seq[6] = 0x02;
    Bytes other_ping = Bytes(request.begin(), request.end());  // type 8, e.g. our own on loopback

    // A router's "host unreachable" (type 3, code 1) quoting our request's IP header
    // and its first 8 bytes, which hold our identifier and sequence number.
    Bytes unreachable = {3, 1, 0, 0, 0, 0, 0, 0};
    const Bytes quoted_ip = Datagram({10, 77, 0, 1}, Bytes(request.begin(), request.begin() + 8));
    unreachable.insert(unreachable.end(), quoted_ip.begin(), quoted_ip.end());

    Bytes not_icmp = Datagram(probed, reply);
    not_icmp[9] = 17;  // UDP
    Bytes ipv6_version = Datagram(probed, reply);
    ipv6_version[0] = 0x65;
    Bytes short_ihl = Datagram(probed, reply);
    short_ihl[0] = 0x44;  // claims a 16-byte IP header

    struct Case {
        const char* name;
        Bytes datagram;
        bool ours;
    };
    const Case cases[] = {
        {"our reply", Datagram(probed, reply), true},
        {"reply with IP options", Datagram(probed, reply, 4), true},
        {"reply with the largest IP header", Datagram(probed, reply, 40), true},
        {"only the header and our value", Datagram(probed, Bytes(reply.begin(), reply.begin() + 12)), true},
        {"only the 8 ICMP header bytes", Datagram(probed, Bytes(reply.begin(), reply.begin() + 8)), false},
        {"another probe's value", Datagram(probed, other_probes_reply), false},
        {"zero filler, as a forged reply would have", Datagram(probed, zero_filler_reply), false},
        {"wrong source", Datagram({10, 77, 0, 3}, reply), false},
        {"source bytes reversed", Datagram({2, 0, 77, 10}, reply), false},
        {"wrong identifier", Datagram(probed, wrong_id), false},
        {"wrong sequence number", Datagram(probed, wrong_seq), false},
        {"echo request, not reply", Datagram(probed, other_ping), false},
        {"unreachable quoting our request", Datagram(probed, unreachable), false},
        {"not ICMP", not_icmp, false},
        {"not IPv4", ipv6_version, false},
        {"IP header length below 20", short_ihl, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsOurEchoReply(c.datagram.data(), c.datagram.size(), probed, kValue), c.ours) << c.name;
    }
}

TEST(EchoReply, NeverReadsPastTheReceivedSize) {
    const Ipv4Bytes probed = {10, 77, 0, 2};
    const Bytes reply = ReplyTo(BuildEchoRequest(1, 7));
    for (std::size_t options : {0u, 4u, 40u}) {
        const Bytes full = Datagram(probed, reply, options);
        const std::size_t needed = 20 + options + 12;
        // Each truncation sits in a buffer of its own size, so ASan flags any read past it.
        for (std::size_t size = 0; size < full.size(); ++size) {
            const Bytes cut(full.begin(), full.begin() + size);
            EXPECT_EQ(IsOurEchoReply(cut.data(), cut.size(), probed, 7), size >= needed)
                << "options " << options << " size " << size;
        }
    }
    EXPECT_FALSE(IsOurEchoReply(nullptr, 0, probed, 7));
}

TEST(EchoReply, MustFitTheReceiveBuffer) {
    const Ipv4Bytes probed = {192, 168, 1, 10};
    const Bytes reply = ReplyTo(BuildEchoRequest(1, 7));
    const std::size_t fill = kReceiveBufferSize - 20 - reply.size();
    const Bytes exactly = Datagram(probed, reply, 0, fill);
    const Bytes one_more = Datagram(probed, reply, 0, fill + 1);
    ASSERT_EQ(exactly.size(), 324u);
    EXPECT_TRUE(IsOurEchoReply(exactly.data(), exactly.size(), probed, 7));
    EXPECT_FALSE(IsOurEchoReply(one_more.data(), one_more.size(), probed, 7));
}

}  // namespace
