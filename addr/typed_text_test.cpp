#include "addr/typed_text.h"

#include <gtest/gtest.h>

namespace {

TEST(TypedText, DropsOnlySpacesAndTabsAroundTheText) {
    const struct {
        std::string_view typed, kept;
    } cases[] = {
        {"10.77.0.2", "10.77.0.2"},
        {" 00-1A-2B-3C-4D-5E ", "00-1A-2B-3C-4D-5E"},
        {"\t10.77.0.2 \t", "10.77.0.2"},
        {"00 1A 2B 3C 4D 5E", "00 1A 2B 3C 4D 5E"},  // inside: a separator
        {"10.77.0.2\r\n", "10.77.0.2\r\n"},          // only spaces and tabs
        {"   ", ""},
        {"", ""},
        {std::string_view("\0 ", 2), std::string_view("\0", 1)},
    };
    for (const auto& c : cases) EXPECT_EQ(TrimBlanks(c.typed), c.kept) << "[" << c.typed << "]";
}

TEST(TypedText, APasteKeepsItsFirstLineWithoutBlanksAround) {
    const struct {
        std::string_view clipboard, pasted;
    } cases[] = {
        {" 00-1A-2B-3C-4D-5E ", "00-1A-2B-3C-4D-5E"},
        {"10.77.0.2 \r\n", "10.77.0.2"},  // a spreadsheet's cell
        {"\t10.77.0.2\n10.77.0.3", "10.77.0.2"},
        {"\r\n10.77.0.2", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PastedAddressText(c.clipboard), c.pasted) << "[" << c.clipboard << "]";
}

}  // namespace
