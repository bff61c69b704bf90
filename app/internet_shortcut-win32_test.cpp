// Real files under Wine, in a directory of their own.
#include "app/internet_shortcut-win32.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/handles-win32.h"

namespace {

std::optional<std::string> ReadWholeFile(const std::string& path) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::nullopt;
    std::string bytes;
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    return bytes;
}

void WriteWholeFile(const std::string& path, const std::string& bytes) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr));
    ASSERT_TRUE(file);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
}

FILETIME LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

class ShortcutFile : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        dir_ = std::string(temp) + "tvx-shortcut-" + std::to_string(GetCurrentProcessId());
        ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS);
        GetCurrentDirectoryA(sizeof previous_dir_, previous_dir_);
        ASSERT_TRUE(SetCurrentDirectoryA(dir_.c_str()));
    }
    void TearDown() override {
        SetCurrentDirectoryA(previous_dir_);
        for (const char* name : {kHomeShortcutName, kContributeShortcutName}) {
            SetFileAttributesA(Path(name).c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(Path(name).c_str());
            RemoveDirectoryA(Path(name).c_str());
        }
        RemoveDirectoryA(dir_.c_str());
    }
    std::string Path(const std::string& name) const { return dir_ + "\\" + name; }

    std::string dir_;
    char previous_dir_[MAX_PATH] = {};
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
        WriteWholeFile(path, c.bytes);
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
