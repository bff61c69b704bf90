#include "net/adapter_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const MacBytes kVeth = {0x02, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};

AdapterInfo Adapter(std::size_t description_length, char fill = 'd') {
    return AdapterInfo{kVeth, std::string(description_length, fill)};
}

TEST(AdapterList, LineIsMacTabDescriptionCutToSixtyCharacters) {
    struct Case {
        MacBytes address;
        std::size_t description_length;
        std::string line;
    };
    const std::string d42(42, 'd');
    const MacBytes kShort = {0xAB, 0xCD};  // a hardware address of two bytes, the rest zero
    const Case cases[] = {
        {kVeth, 0, "02-1A-2B-3C-4D-5E\t"},
        {kVeth, 9, "02-1A-2B-3C-4D-5E\tddddddddd"},
        {kVeth, 41, "02-1A-2B-3C-4D-5E\t" + d42.substr(0, 41)},
        {kVeth, 42, "02-1A-2B-3C-4D-5E\t" + d42},
        {kVeth, 43, "02-1A-2B-3C-4D-5E\t" + d42},
        {kVeth, 131, "02-1A-2B-3C-4D-5E\t" + d42},
        {kShort, 5, "AB-CD-00-00-00-00\tddddd"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatAdapterLine({c.address, std::string(c.description_length, 'd')}), c.line);
    }
}

TEST(AdapterList, ListsAPrefixOfWholeLinesUpTo249Characters) {
    struct Case {
        const char* why;
        std::vector<AdapterInfo> adapters;
        std::vector<std::size_t> shown;  // indexes of the adapters whose lines appear
    };
    const Case cases[] = {
        {"one adapter", {Adapter(4)}, {0}},
        {"chain order kept", {Adapter(3, 'a'), Adapter(3, 'b'), Adapter(3, 'c')}, {0, 1, 2}},
        {"four full lines fit", {Adapter(42, 'a'), Adapter(50, 'b'), Adapter(42, 'c'), Adapter(60, 'e')},
         {0, 1, 2, 3}},
        {"a fifth full line is left out",
         {Adapter(42, 'a'), Adapter(42, 'b'), Adapter(42, 'c'), Adapter(42, 'e'), Adapter(42, 'f')},
         {0, 1, 2, 3}},
        {"nothing after the first line that does not fit, not even a shorter one",
         {Adapter(4, 'a'), Adapter(42, 'b'), Adapter(42, 'c'), Adapter(42, 'e'), Adapter(42, 'f'), Adapter(1, 'g')},
         {0, 1, 2, 3}},
        {"exactly 249 characters fit",
         {Adapter(42, 'a'), Adapter(42, 'b'), Adapter(42, 'c'), Adapter(22, 'e'), Adapter(1, 'f')}, {0, 1, 2, 3, 4}},
        {"250 do not",
         {Adapter(42, 'a'), Adapter(42, 'b'), Adapter(42, 'c'), Adapter(22, 'e'), Adapter(2, 'f')}, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::string expected;
        for (std::size_t i : c.shown) expected += FormatAdapterLine(c.adapters[i]) + "\r\n";
        const std::string list = FormatAdapterList(c.adapters);
        EXPECT_EQ(list, expected);
        EXPECT_LE(list.size(), 249u);
    }
}

TEST(AdapterList, NoAdapterGivesTheErrorTextWithoutLineEnd) {
    EXPECT_EQ(FormatAdapterList({}), "No se encontraron adaptadores validos.");
}

}  // namespace
