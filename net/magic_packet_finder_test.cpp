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

// What was found, as one line: the MAC and the password bytes, or "none".
std::string Describe(const std::optional<FoundMagicPacket>& found) {
    if (!found) return "none";
    std::string text = FormatMacText(found->mac) + " [";
    for (std::uint8_t b : found->password) text += std::to_string(b) + ' ';
    return text + "]";
}

TEST(MagicPacketFinder, FindsThePacketAnywhereAndAPasswordOnlyWhereFourOrSixBytesEndIt) {
    const Bytes plain = BuildMagicPacket("00-1A-2B-3C-4D-5E", "");
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
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Describe(FindMagicPacket(c.datagram.data(), c.datagram.size())), c.found) << c.what;
    }
}

}  // namespace
