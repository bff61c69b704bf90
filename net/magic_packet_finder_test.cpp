#include "net/magic_packet_finder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/magic_packet.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Join(const Bytes& a, const Bytes& b) {
    Bytes joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    return joined;
}

// What was found, as one line: each packet's MAC and password bytes, or "none".
std::string Describe(const std::vector<FoundMagicPacket>& found) {
    if (found.empty()) return "none";
    std::string text;
    for (const FoundMagicPacket& packet : found) {
        text += (text.empty() ? "" : "; ") + FormatMacText(packet.mac) + " [";
        for (std::uint8_t b : packet.password) text += std::to_string(b) + ' ';
        text += "]";
    }
    return text;
}

TEST(MagicPacketFinder, FindsEveryPacketAndAPasswordOnlyWhereFourOrSixBytesEndIt) {
    const Bytes plain = BuildMagicPacket("00-1A-2B-3C-4D-5E", "");
    const Bytes other = BuildMagicPacket("02-00-0A-4D-00-01", "");
    Bytes broken_copy = plain;
    broken_copy[6 + 6 * 9 + 2] ^= 0x01;
    Bytes short_sync = plain;
    short_sync[5] = 0xFE;
    struct Case {
        const char* what;
        Bytes datagram;
        std::string found;
    };
    const Case cases[] = {
        {"102 bytes", plain, "00-1A-2B-3C-4D-5E []"},
        {"106 bytes", Join(plain, {1, 2, 3, 0}), "00-1A-2B-3C-4D-5E [1 2 3 0 ]"},
        {"108 bytes", BuildMagicPacket("00-1A-2B-3C-4D-5E", "secret"), "00-1A-2B-3C-4D-5E [115 101 99 114 101 116 ]"},
        {"a sender's header first", Join({'W', 'O', 'L', 0}, Join(plain, {9, 8, 7, 6})),
         "00-1A-2B-3C-4D-5E [9 8 7 6 ]"},
        // The sync stream is the last six of these 0xFF bytes, not the first.
        {"a header ending in 0xFF", Join({0xFF, 0xFF, 0xFF}, plain), "00-1A-2B-3C-4D-5E []"},
        {"a broken packet, then a whole one", Join(broken_copy, plain), "00-1A-2B-3C-4D-5E []"},
        {"5 bytes after it", Join(plain, {1, 2, 3, 4, 5}), "00-1A-2B-3C-4D-5E []"},
        {"the broadcast MAC", Bytes(kMagicPacketSize, 0xFF), "FF-FF-FF-FF-FF-FF []"},
        {"one byte short", Bytes(plain.begin(), plain.end() - 1), "none"},
        {"a broken copy", broken_copy, "none"},
        {"five 0xFF bytes", short_sync, "none"},
        {"empty", {}, "none"},
        {"two back to back", Join(plain, other), "00-1A-2B-3C-4D-5E []; 02-00-0A-4D-00-01 []"},
        {"passwords between", Join(Join(plain, {1, 2, 3, 4}), Join(other, {5, 6, 7, 8, 9, 10})),
         "00-1A-2B-3C-4D-5E [1 2 3 4 ]; 02-00-0A-4D-00-01 [5 6 7 8 9 10 ]"},
        {"5 bytes between", Join(Join(plain, {1, 2, 3, 4, 5}), other), "00-1A-2B-3C-4D-5E []; 02-00-0A-4D-00-01 []"},
        // Every offset up to 48 holds a packet here; the first ends where the rest would start.
        {"150 0xFF bytes", Bytes(150, 0xFF), "FF-FF-FF-FF-FF-FF []"},
        {"204 0xFF bytes", Bytes(204, 0xFF), "FF-FF-FF-FF-FF-FF []; FF-FF-FF-FF-FF-FF []"},
        {"the second cut short", Join(plain, Bytes(other.begin(), other.end() - 1)), "00-1A-2B-3C-4D-5E []"},
        {"four bytes of a second", Join(plain, Bytes(other.begin(), other.begin() + 4)),
         "00-1A-2B-3C-4D-5E [255 255 255 255 ]"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Describe(FindMagicPackets(c.datagram.data(), c.datagram.size())), c.found) << c.what;
    }
}

}  // namespace
