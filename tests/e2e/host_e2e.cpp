// The bridge to the Linux side that network cases rely on.
#include <gtest/gtest.h>

#include "tests/e2e/driver.h"

namespace {

TEST(Host, RunsShellInTheProgramsNamespaceAndReachesThePeer) {
    const auto result = e2e::RunOnHost(
        "ip -o -4 addr show dev \"$TARVEX_PROG_IF\" | grep -c 10.77.0.1/24\n"
        "ip netns exec \"$TARVEX_PEER_NS\" ip -o -4 addr | grep -c 10.77.0.2/24\n"
        "exit 3");
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->exit_code, 3);
    EXPECT_EQ(result->output, "1\n1\n");
}

}  // namespace
