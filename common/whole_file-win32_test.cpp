// Real files under Wine, in a directory of their own.
#include "common/whole_file-win32.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "tests/support/test_files-win32.h"

namespace {

class WholeFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch_->made()); }
    std::string Path(const std::string& name) const { return scratch_->Path(name); }
    std::set<std::string> Names() const { return scratch_->Names(); }
    static void Write(const std::string& path, const std::string& bytes) {
        std::string error;
        ASSERT_TRUE(WriteFileWhole(path, bytes, error)) << error;
    }

    std::unique_ptr<ScratchDirectory> scratch_ = std::make_unique<ScratchDirectory>("tvx-whole-");
};

// The file is the new text or, on failure, exactly what was there; no other file is left.
TEST_F(WholeFile, AWriteIsWholeOrLeavesTheOldFileAsItWas) {
    const std::string big((1 << 20) + 1, 'x');  // more than one write
    const struct {
        const char* what;
        std::string old_bytes;  // "-": no file before; "/": a directory
        bool read_only;
        const char* name;       // as given to the write
        bool ok;
    } cases[] = {
        {"new file", "-", false, "out.csv", true},
        {"shorter over longer", "a much longer old report\r\n", false, "out.csv", true},
        {"a directory", "/", false, "out.csv", false},
        {"read-only file", "keep me", true, "out.csv", false},
        {"no such directory", "-", false, "missing\\out.csv", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.old_bytes == "/") {
            ASSERT_TRUE(CreateDirectoryA(Path("out.csv").c_str(), nullptr));
        } else if (c.old_bytes != "-") {
            Write(Path("out.csv"), c.old_bytes);
            if (c.read_only) SetFileAttributesA(Path("out.csv").c_str(), FILE_ATTRIBUTE_READONLY);
        }
        // A large text, then a short one over it.
        for (const std::string& text : {big, std::string("new\r\n")}) {
            std::string error;
            EXPECT_EQ(WriteFileWhole(Path(c.name), text, error), c.ok) << error;
            EXPECT_EQ(error.empty(), c.ok) << error;
            if (c.old_bytes == "/") {
                EXPECT_EQ(GetFileAttributesA(Path("out.csv").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
                          DWORD{FILE_ATTRIBUTE_DIRECTORY});
            } else if (c.ok) {
                EXPECT_EQ(ReadWholeFile(Path(c.name)), text);
            } else if (c.old_bytes != "-") {
                EXPECT_EQ(ReadWholeFile(Path("out.csv")), c.old_bytes);
            }
            EXPECT_EQ(Names(), c.ok || c.old_bytes != "-" ? std::set<std::string>{"out.csv"} : std::set<std::string>{});
        }
        scratch_.reset();
        scratch_ = std::make_unique<ScratchDirectory>("tvx-whole-");
    }
}

TEST_F(WholeFile, TwoNamesAreOneFileOnlyWhenTheyOpenTheSameFile) {
    Write(Path("pcs.csv"), "list");
    Write(Path("other.csv"), "list");
    ASSERT_TRUE(CreateHardLinkA(Path("link.csv").c_str(), Path("pcs.csv").c_str(), nullptr));
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {"pcs.csv", "pcs.csv", true},        {"pcs.csv", ".\\pcs.csv", true},
        {"pcs.csv", "PCS.CSV", true},        {"pcs.csv", Path("pcs.csv"), true},
        {"pcs.csv", "link.csv", true},       {"pcs.csv", "other.csv", false},
        {"pcs.csv", "report.csv", false},    {"report.csv", "report.csv", false},
        {"pcs.csv", ".", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsSameFile(c.a, c.b), c.same) << c.a << " " << c.b;
}

}  // namespace
