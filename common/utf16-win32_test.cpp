#include "common/utf16-win32.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace {

TEST(Utf16, ReadsEveryByteOfTheTextAsUtf8) {
    const struct {
        const char* name;
        std::string_view utf8;
        std::wstring utf16;
    } cases[] = {
        {"empty", "", L""},
        {"ASCII", "Office PC 7", L"Office PC 7"},
        {"Latin-1 range", "K\xC3\xBC" "che", L"K\u00FC" L"che"},
        {"Devanagari", "\xE0\xA4\xA8\xE0\xA4\xAE\xE0\xA4\xB8\xE0\xA5\x8D\xE0\xA4\xA4\xE0\xA5\x87",
         L"\u0928\u092E\u0938\u094D\u0924\u0947"},
        {"an emoji: a surrogate pair", "PC \xF0\x9F\x92\xA4", L"PC \xD83D\xDCA4"},
        {"an invalid byte", "a\xFF" "b", L"a\uFFFD" L"b"},
        {"a NUL inside", std::string_view("a\0b", 3), std::wstring(L"a\0b", 3)},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WideFromUtf8(c.utf8), c.utf16) << c.name;
        // And back, where the bytes were valid UTF-8.
        if (c.utf8.find('\xFF') == std::string_view::npos) {
            EXPECT_EQ(Utf8FromWide(c.utf16), c.utf8) << c.name;
        }
    }
}

TEST(Utf16, TheProgramsPathIsWholeAndNamesItsExe) {
    const std::string path = ProgramPath();
    ASSERT_GT(path.size(), 3u);
    EXPECT_EQ(path.substr(1, 2), ":\\");
    EXPECT_EQ(path.substr(path.size() - 4), ".exe");
}

}  // namespace
