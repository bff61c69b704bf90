// Real files under Wine, in a directory of their own.
#include "app/internet_shortcut-win32.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/handles-win32.h"
#include "tests/support/test_files-win32.h"

namespace {

FILETIME LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

class ShortcutFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_.made()); }
    std::string Path(const std::string& name) const { return scratch_.Path(name); }

    ScratchDirectory scratch_{"tvx-shortcut-"};
};

TEST_F(ShortcutFile, AMissingFileIsWrittenInTheCurrentDirectoryWithExactlyTheText) {
    struct Case {
        const char* name;
        const char* url;
    };
    for (const Case& c : {Case{kHomeShortcutName, kHomePageUrl}, Case{kContributeShortcutName, kContributeUrl}}) {
        SCOPED_TRACE(c.name);
        const std::string text = BuildInternetShortcutText(c.url);
        EXPECT_EQ(EnsureInternetShortcut(c.name, text), ShortcutFileState::kWritten);
        EXPECT_EQ(ReadWholeFile(Path(c.name)), std::optional<std::string>(text));
    }
}

TEST_F(ShortcutFile, AnExistingFileIsLeftByteForByte) {
    // Shorter, longer and binary content; a read-only file; one held open elsewhere.
    struct Case {
        const char* what;
        std::string bytes;
        DWORD attributes;
        bool held_open;
    };
    const Case cases[] = {
        {"other url", "[InternetShortcut]\r\nURL=http://elsewhere.example/\r\n", FILE_ATTRIBUTE_NORMAL, false},
        {"empty", "", FILE_ATTRIBUTE_NORMAL, false},
        {"longer", std::string(300, 'x'), FILE_ATTRIBUTE_NORMAL, false},
        {"binary", std::string("\0\xFF\r\n\0", 5), FILE_ATTRIBUTE_NORMAL, false},
        {"read-only", "kept", FILE_ATTRIBUTE_READONLY, false},
        {"held open", "kept too", FILE_ATTRIBUTE_NORMAL, true},
    };
    const std::string path = Path(kHomeShortcutName);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(WriteWholeFile(path, c.bytes));
        ASSERT_TRUE(SetFileAttributesA(path.c_str(), c.attributes));
        const FILETIME written = LastWrite(path);
        UniqueFile holder;
        if (c.held_open) {
            holder.reset(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
            ASSERT_TRUE(holder);
        }

        EXPECT_EQ(EnsureInternetShortcut(kHomeShortcutName, BuildInternetShortcutText(kHomePageUrl)),
                  ShortcutFileState::kAlreadyThere);
        holder.reset();
        EXPECT_EQ(ReadWholeFile(path), std::optional<std::string>(c.bytes));
        const FILETIME now = LastWrite(path);
        EXPECT_EQ(CompareFileTime(&now, &written), 0);
    }
}

TEST_F(ShortcutFile, NothingIsWrittenWhereNoFileCanBeMade) {
    // A directory that has the file's name, and a name inside a missing directory.
    ASSERT_TRUE(CreateDirectoryA(Path(kContributeShortcutName).c_str(), nullptr));
    EXPECT_NE(EnsureInternetShortcut(kContributeShortcutName, "x"), ShortcutFileState::kWritten);
    EXPECT_TRUE(GetFileAttributesA(Path(kContributeShortcutName).c_str()) & FILE_ATTRIBUTE_DIRECTORY);

    const std::string nested = "missing\\" + std::string(kHomeShortcutName);
    EXPECT_EQ(EnsureInternetShortcut(nested.c_str(), "x"), ShortcutFileState::kNotWritten);
    EXPECT_EQ(GetFileAttributesA(Path("missing").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
