// Entry point of the end-to-end tests: --program=PATH names the exe under test.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/e2e/driver.h"
#include "tests/support/loud_failures-win32.h"

int main(int argc, char** argv) {
    test_support::MakeFailuresLoud();
    testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--program=", 10) == 0) e2e::SetProgramPath(argv[i] + 10);
    }
    if (e2e::ProgramPath().empty()) {
        std::fprintf(stderr, "usage: e2e_tests --program=PATH-TO-tarvex-wol.exe [gtest flags]\n");
        return 2;
    }
    return RUN_ALL_TESTS();
}
