#include "app/command_line-win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/handles-win32.h"

namespace {

// Where a script can point the standard output, as the program sees it: "> NUL" is a
// character device like a console, and a redirection like a file or a pipe.
TEST(CommandLineOutput, TheNullDeviceFilesAndPipesAreRedirections) {
    char directory[MAX_PATH] = {};
    ASSERT_NE(GetTempPathA(sizeof directory, directory), 0u);
    const std::string file_path = std::string(directory) + "tarvex-output-test.txt";
    const UniqueFile nul(CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
    const UniqueFile file(CreateFileA(file_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    HANDLE read_end = nullptr, write_end = nullptr;
    ASSERT_TRUE(CreatePipe(&read_end, &write_end, nullptr, 0));
    const UniqueKernelObject reader(read_end), writer(write_end);
    ASSERT_TRUE(nul && file);

    const struct {
        const char* what;
        HANDLE out;
        bool redirected;
    } cases[] = {
        {"null device", nul.get(), true},
        {"file", file.get(), true},
        {"pipe", writer.get(), true},
        {"none", nullptr, false},
        {"invalid", INVALID_HANDLE_VALUE, false},
    };
    // Not owned here: the process's own standard output, put back afterwards.
    HANDLE const own = GetStdHandle(STD_OUTPUT_HANDLE);
    const OutputProbes probes = SystemOutputProbes();
    for (const auto& c : cases) {
        ASSERT_TRUE(SetStdHandle(STD_OUTPUT_HANDLE, c.out));
        const bool redirected = probes.standard_output_redirected();
        SetStdHandle(STD_OUTPUT_HANDLE, own);
        EXPECT_EQ(redirected, c.redirected) << c.what;
    }
}

}  // namespace
