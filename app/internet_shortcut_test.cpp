#include "app/internet_shortcut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

TEST(InternetShortcutText, IsHeaderLineFeedAndUrlWithNothingAfter) {
    struct Case {
        const char* url;
        std::string bytes;
    };
    const Case cases[] = {
        {kHomePageUrl, "[InternetShortcut]\x0A" "URL=http://tarvex.example/"},
        {kContributeUrl, "[InternetShortcut]\x0A" "URL=http://tarvex.example/contribuir.php"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(BuildInternetShortcutText(c.url), c.bytes);
    }
}

// Files in memory. Every step is logged so the order (close before remove) is visible.
class FakeFiles final : public ShortcutFiles {
public:
    std::map<std::string, std::string> files;
    std::vector<std::string> log;
    bool refuse_create = false;
    size_t room = std::string::npos;  // bytes that fit before a write fails

    std::unique_ptr<NewFile> CreateNew(const std::string& name, bool& exists) override {
        exists = files.count(name) != 0;
        if (exists || refuse_create) {
            log.push_back(exists ? "exists " + name : "refused " + name);
            return nullptr;
        }
        files[name];
        log.push_back("create " + name);
        return std::make_unique<File>(*this, name);
    }

    void Remove(const std::string& name) override {
        log.push_back("remove " + name);
        files.erase(name);
    }

private:
    class File final : public NewFile {
    public:
        File(FakeFiles& owner, std::string name) : owner_(owner), name_(std::move(name)) {}
        ~File() override { owner_.log.push_back("close " + name_); }
        bool Write(std::string_view bytes) override {
            owner_.log.push_back("write " + std::to_string(bytes.size()));
            const size_t fits = std::min(bytes.size(), owner_.room);
            owner_.files[name_].append(bytes.substr(0, fits));
            return fits == bytes.size();
        }

    private:
        FakeFiles& owner_;
        std::string name_;
    };
};

TEST(EnsureShortcutFile, WritesAMissingFileInOnePieceAndClosesIt) {
    FakeFiles files;
    const std::string text = BuildInternetShortcutText(kHomePageUrl);
    EXPECT_EQ(EnsureShortcutFile(files, kHomeShortcutName, text), ShortcutFileState::kWritten);
    EXPECT_EQ(files.files.at(kHomeShortcutName), text);
    const std::vector<std::string> steps = {"create Tarvex online.url", "write 45", "close Tarvex online.url"};
    EXPECT_EQ(files.log, steps);
}

TEST(EnsureShortcutFile, LeavesAnExistingFileAsItIsWhateverItHolds) {
    const std::string existing[] = {"", "[InternetShortcut]\nURL=http://elsewhere.example/\r\n",
                                    std::string("\0\xFF binary", 9)};
    for (const std::string& held : existing) {
        FakeFiles files;
        files.files[kContributeShortcutName] = held;
        EXPECT_EQ(EnsureShortcutFile(files, kContributeShortcutName, BuildInternetShortcutText(kContributeUrl)),
                  ShortcutFileState::kAlreadyThere);
        EXPECT_EQ(files.files.at(kContributeShortcutName), held);
        EXPECT_EQ(files.log, std::vector<std::string>{"exists Contribute.url"});
    }
}

TEST(EnsureShortcutFile, WritesNothingWhenTheFileCannotBeCreated) {
    FakeFiles files;
    files.refuse_create = true;
    EXPECT_EQ(EnsureShortcutFile(files, kHomeShortcutName, "x"), ShortcutFileState::kNotWritten);
    EXPECT_TRUE(files.files.empty());
    EXPECT_EQ(files.log, std::vector<std::string>{"refused Tarvex online.url"});
}

TEST(EnsureShortcutFile, RemovesAFileThatCouldNotBeWrittenInFullAfterClosingIt) {
    // A cut-off shortcut would otherwise count as "already there" for good.
    for (size_t room : {size_t{0}, size_t{1}, size_t{44}}) {
        SCOPED_TRACE(room);
        FakeFiles files;
        files.room = room;
        EXPECT_EQ(EnsureShortcutFile(files, kHomeShortcutName, BuildInternetShortcutText(kHomePageUrl)),
                  ShortcutFileState::kNotWritten);
        EXPECT_EQ(files.files.count(kHomeShortcutName), 0u);
        const std::vector<std::string> steps = {"create Tarvex online.url", "write 45", "close Tarvex online.url",
                                                "remove Tarvex online.url"};
        EXPECT_EQ(files.log, steps);
    }
}

}  // namespace
