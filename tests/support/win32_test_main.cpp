// Entry point of the Windows unit tests: GoogleTest's, with failures that say why.
#include <gtest/gtest.h>

#include "tests/support/loud_failures-win32.h"

int main(int argc, char** argv) {
    test_support::MakeFailuresLoud();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
