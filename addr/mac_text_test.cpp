#include "addr/mac_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct MacCase {
    std::string text;
    bool valid;
    const char* why;
};

std::string WithByte(std::string text, std::size_t pos, unsigned char byte) {
    text[pos] = static_cast<char>(byte);
    return text;
}

TEST(MacText, DecidesByDigitPositionsOnly) {
    const MacCase cases[] = {
        {"00-1A-2B-3C-4D-5E", true, "upper case, the program's own spelling"},
        {"00-1a-2b-3c-4d-5e", true, "lower case"},
        {"00-1A-2b-3C-4d-5E", true, "mixed case"},
        {"aB-cD-eF-01-23-45", true, "every letter digit"},
        {"00:1a:2b:3c:4d:5e", true, "colons"},
        {"00.1a_2b/3c#4d+5e", true, "a different separator each time"},
        {"00 1a 2b 3c 4d 5e", true, "spaces at separator positions"},
        {WithByte("00-1a-2b-3c-4d-5e", 8, 0xE9), true, "byte above 127 at a separator position"},
        {std::string("00\0" "1a-2b-3c-4d-5e", 17), true, "NUL at a separator position"},
        {"00-11-22-33-44-5g", false, "position 16 holds 'g'"},
        {"g0-11-22-33-44-55", false, "position 0 holds 'g'"},
        {"00-11-22-33-4-555", false, "position 13 holds '-'"},
        {"00-11-22-33-44- 5", false, "space at a digit position"},
        {WithByte("00-1a-2b-3c-4d-5e", 4, 0xC1), false, "byte above 127 at a digit position"},
        {WithByte("00-1a-2b-3c-4d-5e", 16, 0xFF), false, "byte 0xFF at the last digit position"},
        {std::string("00-1a-2b-3c-4d-5\0", 17), false, "NUL at a digit position"},
    };
    for (const MacCase& c : cases) {
        EXPECT_EQ(IsValidMacText(c.text), c.valid) << c.why << ": " << c.text;
    }
}

TEST(MacText, RefusesOnlyTheExactZeroText) {
    EXPECT_FALSE(IsValidMacText("00-00-00-00-00-00"));
    EXPECT_TRUE(IsValidMacText("00:00:00:00:00:00"));
    EXPECT_TRUE(IsValidMacText("00 00 00 00 00 00"));
    EXPECT_TRUE(IsValidMacText("00-00-00-00-00-00-"));    // longer text that begins with it
    EXPECT_TRUE(IsValidMacText("00-00-00-00-00-00-00"));
}

TEST(MacText, NeedsSeventeenCharacters) {
    const MacCase cases[] = {
        {"", false, "empty"},
        {"0-11-22-33-44-55", false, "16 characters"},
        {"00-11-22-33-44-5", false, "16 characters, one digit short"},
        {"0011223344556677", false, "16 digits"},
        {"00-11-22-33-44-55", true, "17 characters"},
    };
    for (const MacCase& c : cases) {
        EXPECT_EQ(IsValidMacText(c.text), c.valid) << c.why << ": " << c.text;
    }
}

TEST(MacText, WalksDigitPositionsBeyondSeventeen) {
    const MacCase cases[] = {
        {"00-11-22-33-44-55-", true, "18: position 17 is a separator"},
        {"00-11-22-33-44-55z", true, "18: any character at position 17"},
        {"00-11-22-33-44-55-6", true, "19: position 18 is a hexadecimal digit"},
        {"00-11-22-33-44-55-F", true, "19: upper-case digit at position 18"},
        {"00-11-22-33-44-55-g", false, "19: position 18 is not a digit"},
        {"00-11-22-33-44-55--", false, "19: position 18 is '-'"},
        {"00-11-22-33-44-55-66", true, "20: a seventh byte"},
        {"00-11-22-33-44-55-6x", false, "20: position 19 is not a digit"},
        {"00-11-22-33-44-55-66-77-88-99-aa-bb-cc-dd-ee-ff", true, "a long text, all digits"},
        {"00-11-22-33-44-55-66-77-88-99-aa-bb-cc-dd-ee-fq", false, "a long text, bad last digit"},
    };
    for (const MacCase& c : cases) {
        EXPECT_EQ(IsValidMacText(c.text), c.valid) << c.why << ": " << c.text;
    }
}

struct HexCase {
    std::string piece;
    std::int32_t value;
};

TEST(ParseHexByte, ReadsTwoDigitPiecesOfEitherCase) {
    const HexCase cases[] = {
        {"ff", 255}, {"FF", 255}, {"fF", 255}, {"0A", 10}, {"0a", 10}, {"00", 0},
        {"1A", 26},  {"a0", 160}, {"7f", 127}, {"80", 128}, {"09", 9},  {"90", 144},
    };
    for (const HexCase& c : cases) {
        EXPECT_EQ(ParseHexByte(c.piece), c.value) << '"' << c.piece << '"';
    }
}

TEST(ParseHexByte, FollowsStrtolWithinSixCharacters) {
    const HexCase cases[] = {
        {"", 0},           {"zz", 0},          {"g1", 0},        {"1g", 1},
        {"  1f", 31},      {"\t\n\v\f\r1", 1}, {"+1f", 31},      {"-1f", -31},
        {"--1", 0},        {"+-1", 0},         {"- 1", 0},       {"0x1f", 31},
        {"0X1F", 31},      {"-0x10", -16},     {"0x", 0},        {"0xg", 0},
        {"0x0x1", 0},      {"x1", 0},          {"abcdef", 0xABCDEF},
        {"abcdef12", 0xABCDEF},  // the seventh and later characters are never read
        {"     12", 1},            // the '2' is the seventh character
        {"    0x1", 0},            // the prefix ends the six; its '1' is the seventh
        {"   0x1", 1},
        {std::string("1\0" "2", 3), 1},
        {"\xA0" "1", 0},           // a byte above 127 is not white space
    };
    for (const HexCase& c : cases) {
        EXPECT_EQ(ParseHexByte(c.piece), c.value) << '"' << c.piece << '"';
    }
}

TEST(MacText, FormatsSixBytesUpperCaseJoinedByDashes) {
    EXPECT_EQ(FormatMacText(MacBytes{0x02, 0x00, 0x00, 0x00, 0x00, 0x09}), "02-00-00-00-00-09");
    EXPECT_EQ(FormatMacText(MacBytes{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}), "AA-BB-CC-DD-EE-FF");
    EXPECT_EQ(FormatMacText({0x0a, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f}), "0A-1B-2C-3D-4E-5F");
    EXPECT_EQ(FormatMacText(MacBytes{}), "00-00-00-00-00-00");
}

}  // namespace
