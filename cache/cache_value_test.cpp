#include "cache/cache_value.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(CacheValue, StoresTextThenNulsInExactly18Bytes) {
    struct Case {
        std::string text;
        std::string stored;  // all 18 bytes
    };
    const Case cases[] = {
        {"", std::string(18, '\0')},
        {"192.168.1.20", "192.168.1.20" + std::string(6, '\0')},
        {"00-1a-2B:3c 4D.5e", "00-1a-2B:3c 4D.5e" + std::string(1, '\0')},
        // Longer texts are cut to 17 characters so that a NUL always ends the value.
        {"00-1A-2B-3C-4D-5E6", "00-1A-2B-3C-4D-5E" + std::string(1, '\0')},
        {std::string(300, 'x'), std::string(17, 'x') + std::string(1, '\0')},
        // Bytes above 127 go in unchanged (the registry's ANSI interface).
        {"\xE9\xF1", "\xE9\xF1" + std::string(16, '\0')},
    };
    for (const Case& c : cases) {
        const CacheValue value = EncodeCacheValue(c.text);
        EXPECT_EQ(std::string(value.begin(), value.end()), c.stored) << c.text.size();
    }
}

TEST(CacheValue, ReadsUpToTheFirstNulAndNeverMoreThan17Characters) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"own value", "10.0.0.1" + std::string(10, '\0'), "10.0.0.1"},
        {"own MAC", "00-1A-2B-3C-4D-5E" + std::string(1, '\0'), "00-1A-2B-3C-4D-5E"},
        {"all NULs", std::string(18, '\0'), ""},
        {"nothing", "", ""},
        {"short, no NUL", "abc", "abc"},
        {"NUL inside", std::string("ab\0cd", 5), "ab"},
        {"18 bytes, no NUL", "ABCDEFGHIJKLMNOPQR", "ABCDEFGHIJKLMNOPQ"},
        {"40 bytes, no NUL", std::string(40, 'z'), std::string(17, 'z')},
        {"NUL at byte 17", std::string(17, 'q') + std::string(1, '\0') + "tail", std::string(17, 'q')},
    };
    for (const Case& c : cases) {
        // Exactly sized copies, so ASan sees any read past the end.
        const std::vector<std::uint8_t> bytes = Bytes(c.bytes);
        EXPECT_EQ(DecodeCacheValue(bytes.data(), bytes.size()), c.text) << c.name;
    }
    EXPECT_EQ(DecodeCacheValue(nullptr, 0), "");
}

TEST(CacheValue, APairIsNeverNamedLikeTheLastIpOrTheDefaultValue) {
    const struct {
        const char* ip;
        bool pair;
    } cases[] = {
        {"10.77.0.2", true}, {"nas", true},       {"UltimaIP", false}, {"ultimaip", false},
        {"ULTIMAIP", false}, {"", false},         {"UltimaIP2", true}, {"UltimaI", true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsPairName(c.ip), c.pair) << c.ip;
}

}  // namespace
