#include "net/magic_packet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

// Bytes from a hex dump; white space is ignored.
std::vector<std::uint8_t> Hex(const std::string& dump) {
    std::vector<std::uint8_t> bytes;
    std::string digits;
    for (char c : dump) {
        if (c != ' ' && c != '\n') digits += c;
    }
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

// The magic packet for 00-1A-2B-3C-4D-5E without a password, as a protocol analyser
// shows it: the synchronization stream, then the address sixteen times.
const std::vector<std::uint8_t> kPacket001A2B3C4D5E = Hex(R"(
    FF FF FF FF FF FF
    00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E
    00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E
    00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E
    00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E  00 1A 2B 3C 4D 5E
)");

std::vector<std::uint8_t> WithField(const std::string& field_hex) {
    std::vector<std::uint8_t> packet = kPacket001A2B3C4D5E;
    const std::vector<std::uint8_t> field = Hex(field_hex);
    packet.insert(packet.end(), field.begin(), field.end());
    return packet;
}

TEST(MagicPacket, HasSyncStreamAndSixteenCopies) {
    ASSERT_EQ(kPacket001A2B3C4D5E.size(), kMagicPacketSize);
    EXPECT_EQ(BuildMagicPacket("00-1A-2B-3C-4D-5E", ""), kPacket001A2B3C4D5E);
}

TEST(MagicPacket, ReadsOnlyTheDigitsOfTheFirstSeventeenCharacters) {
    const char* spellings[] = {
        "00-1a-2b-3c-4d-5e",
        "00:1A:2B:3C:4D:5E",
        "00 1a_2B/3c#4D+5e",
        "00-1A-2B-3C-4D-5E-",
        "00-1A-2B-3C-4D-5E-FF-EE",
    };
    for (const char* mac : spellings) {
        EXPECT_EQ(BuildMagicPacket(mac, ""), kPacket001A2B3C4D5E) << mac;
    }
}

TEST(MagicPacket, CoversTheWholeByteRange) {
    const std::vector<std::uint8_t> packet = BuildMagicPacket("ff-80-7F-01-a0-09", "");
    ASSERT_EQ(packet.size(), kMagicPacketSize);
    const std::vector<std::uint8_t> mac = Hex("FF 80 7F 01 A0 09");
    for (std::size_t k = 0; k < 16; ++k) {
        EXPECT_TRUE(std::equal(mac.begin(), mac.end(), packet.begin() + 6 + 6 * k)) << "copy " << k;
    }
}

TEST(MagicPacket, CopiesPasswordCharacterCodesZeroFilled) {
    struct Case {
        std::string password;
        std::string field;
    };
    const Case cases[] = {
        {"a", "61 00 00 00 00 00"},
        {"abcde", "61 62 63 64 65 00"},
        {"secret", "73 65 63 72 65 74"},
        {"password", "70 61 73 73 77 6F"},        // only the first six count
        {"1A2B", "31 41 32 42 00 00"},            // hex digits are not parsed
        {"Ab", "41 62 00 00 00 00"},              // nor case-folded
        {"\xFF\x80", "FF 80 00 00 00 00"},         // bytes above 127 as they are
        {std::string("a\0b", 3), "61 00 62 00 00 00"},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> packet = BuildMagicPacket("00-1A-2B-3C-4D-5E", c.password);
        EXPECT_EQ(packet.size(), kMagicPacketWithPasswordSize) << c.password;
        EXPECT_EQ(packet, WithField(c.field)) << c.password;
    }
}

TEST(MagicPacket, RefusesTextTooShortForSixBytes) {
    EXPECT_TRUE(BuildMagicPacket("", "").empty());
    EXPECT_TRUE(BuildMagicPacket("00-1A-2B-3C-4D-5", "secret").empty());
}

}  // namespace
