#include "addr/ip_text.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct IpCase {
    std::string text;
    bool valid;
    const char* why;
};

void ExpectValidity(const IpCase* begin, const IpCase* end) {
    for (const IpCase* c = begin; c != end; ++c) {
        EXPECT_EQ(IsValidIpText(c->text), c->valid) << c->why << ": \"" << c->text << '"';
    }
}

TEST(IpText, AcceptsOrdinaryAddresses) {
    const IpCase cases[] = {
        {"192.168.1.10", true, ""},      {"10.0.0.1", true, ""},
        {"126.1.1.1", true, ""},         {"128.0.0.1", true, ""},
        {"223.255.255.254", true, ""},   {"10.255.255.1", true, ""},
        {"10.0.0.254", true, ""},        {"191.0.0.1", true, "end of the second range"},
        {"192.0.0.1", true, "start of the third range"},
        {"192.168.001.001", true, "leading zeros add nothing"},
    };
    ExpectValidity(std::begin(cases), std::end(cases));
}

TEST(IpText, TestsEachOctetsRange) {
    const IpCase cases[] = {
        {"127.0.0.1", false, "first octet 127"},
        {"0.1.2.3", false, "first octet 0"},
        {"224.0.0.1", false, "first octet 224"},
        {"255.255.255.254", false, "first octet 255"},
        {"10.0.0.0", false, "fourth octet 0"},
        {"10.0.0.255", false, "fourth octet 255"},
        {"10.256.0.1", false, "second octet above 255"},
        {"10.0.256.1", false, "third octet above 255"},
        {"10.255.255.1", true, "255 is fine in the middle"},
        {"10.999.0.1", false, "only the second octet fails"},
        {"10.0.999.1", false, "only the third octet fails"},
    };
    ExpectValidity(std::begin(cases), std::end(cases));
}

TEST(IpText, NeedsExactlyThreeDots) {
    const IpCase cases[] = {
        {"", false, "empty"},
        {"1.2.3", false, "two dots"},
        {"1.2.3.4.", false, "a fourth dot"},
        {"1.2.3.4.5", false, "five octets"},
        {"...", false, "three dots alone: the first octet is 0"},
        {"1...1", true, "empty middle octets yield 0"},
        {"10.0.0.", false, "empty fourth octet yields 0"},
    };
    ExpectValidity(std::begin(cases), std::end(cases));
}

TEST(IpText, ConvertsOctetTextsWhateverTheyHold) {
    const IpCase cases[] = {
        {"1.2.3.4 ", true, "trailing space: fourth octet 4*10-16 = 24"},
        {" 1.2.3.4", false, "leading space: first octet -16*10+1 = -159"},
        {"10.a.0.1", true, "second octet 49"},
        {"1a.0.0.1", true, "first octet 59"},
        {"10.0.0.1a", true, "fourth octet 59"},
        {"10.0.0.25a", false, "fourth octet 299"},
        {"10.0./.1", true, "third octet -1 passes the upper bound"},
        {"10.0.0.-1", true, "fourth octet -29 passes the upper bound"},
        {"10.-1.0.1", true, "second octet -29"},
        {"-1.0.0.1", false, "first octet -29"},
        {"4294967297...1", true, "first octet 2^32 + 1 wraps to 1"},
        {"4294967296...1", false, "first octet 2^32 wraps to 0"},
        {"10.4294967551.0.1", true, "second octet 2^32 + 255 wraps to 255"},
        {"10.4294967552.0.1", false, "second octet 2^32 + 256 wraps to 256"},
    };
    ExpectValidity(std::begin(cases), std::end(cases));
}

TEST(SplitIpText, WritesOutputsOnlyOnSuccess) {
    std::int32_t a = 7, b = 7, c = 7, d = 7;
    EXPECT_FALSE(SplitIpText("1.2.3", a, b, c, d));
    EXPECT_FALSE(SplitIpText("1.2.3.4.5", a, b, c, d));
    EXPECT_FALSE(SplitIpText("", a, b, c, d));
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(c, 7);
    EXPECT_EQ(d, 7);

    ASSERT_TRUE(SplitIpText("192.168.1.10", a, b, c, d));
    EXPECT_EQ(a, 192);
    EXPECT_EQ(b, 168);
    EXPECT_EQ(c, 1);
    EXPECT_EQ(d, 10);

    ASSERT_TRUE(SplitIpText(".x..", a, b, c, d));
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 72);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(d, 0);
}

struct DecimalCase {
    std::string text;
    std::int32_t value;
};

TEST(DecimalTextToInt, AppliesTheFormulaToAnyCharacter) {
    const DecimalCase cases[] = {
        {"", 0},
        {"0", 0},
        {"255", 255},
        {"007", 7},
        {"1a", 59},
        {" ", -16},
        {"/", -1},
        {"-1", -29},
        {"\x80", -176},              // -128 - 48
        {"\xFF", -49},               // -1 - 48
        {"1\xFF", -39},              // 1*10 + (-49)
        {"2147483647", 2147483647},
        {"2147483648", -2147483647 - 1},
        {"4294967295", -1},
        {"4294967296", 0},
        {"4294967297", 1},
        {"99999999999", 1215752191},  // 99999999999 mod 2^32
        {"00000000000000000000042", 42},
    };
    for (const DecimalCase& c : cases) {
        std::int32_t value = 12345;
        DecimalTextToInt(c.text, value);
        EXPECT_EQ(value, c.value) << '"' << c.text << '"';
    }
}

}  // namespace

TEST(ReadIpv4Octets, ReadsFourDecimalRunsOrNothing) {
    struct Case {
        const char* text;
        std::optional<Ipv4Bytes> octets;
    };
    const Case cases[] = {
        {"192.168.1.10", Ipv4Bytes{192, 168, 1, 10}},
        {"192.168.1.010", Ipv4Bytes{192, 168, 1, 10}},  // decimal, not octal 8
        {"255.255.255.255", Ipv4Bytes{255, 255, 255, 255}},
        {"10.0.0.256", std::nullopt},
        {"10.0.0.0010", std::nullopt},  // four digits, though worth 10
        {"10.0.0.1a", std::nullopt},
        {"1a.0.0.1", std::nullopt},
        {"10..0.1", std::nullopt},
        {"10.0.0.", std::nullopt},
        {"10.0.0.-1", std::nullopt},
        {"10.0.0.+1", std::nullopt},
        {"10.0.0.1 ", std::nullopt},
        {"10.0.1", std::nullopt},
        {"10.0.0.1.5", std::nullopt},
        {"", std::nullopt},
        {"10.0.0.1\xB1", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ReadIpv4Octets(c.text), c.octets) << '"' << c.text << '"';
    }
}
