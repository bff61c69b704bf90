#include "net/udp_listener.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A port is opened in three calls; a refused exclusive use (Windows XP, for a user
// without administrator rights) still binds it, any other refusal costs the port.
TEST(UdpListener, APortIsBoundEvenWhenItsExclusiveUseIsRefused) {
    constexpr int kAccessDenied = 10013, kAddressInUse = 10048, kNoBuffers = 10055;
    const struct {
        int create, exclusive, bind;
        std::string calls;
        const char* failed_call;
        int error;
    } cases[] = {
        {0, 0, 0, "socket exclusive bind", nullptr, 0},
        {0, kAccessDenied, 0, "socket exclusive bind", nullptr, 0},
        {0, kAccessDenied, kAddressInUse, "socket exclusive bind", "bind", kAddressInUse},
        {0, 0, kAddressInUse, "socket exclusive bind", "bind", kAddressInUse},
        {kNoBuffers, 0, 0, "socket", "socket", kNoBuffers},
    };
    for (const auto& c : cases) {
        std::string calls;
        const auto step = [&calls](const char* name, int result) {
            return [&calls, name, result] {
                calls += calls.empty() ? name : std::string(" ") + name;
                return result;
            };
        };
        const PortOpening opened =
            OpenListeningPort(9, {step("socket", c.create), step("exclusive", c.exclusive), step("bind", c.bind)});
        const std::string name = "socket " + std::to_string(c.create) + ", exclusive " + std::to_string(c.exclusive) +
                                 ", bind " + std::to_string(c.bind);
        EXPECT_EQ(opened.port, 9) << name;
        EXPECT_EQ(calls, c.calls) << name;
        EXPECT_STREQ(opened.failure.call, c.failed_call) << name;
        EXPECT_EQ(opened.failure.error, c.error) << name;
    }
}

}  // namespace
