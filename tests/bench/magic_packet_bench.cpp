// Time to build one magic packet and send it through a socket layer that does nothing:
// the cost of the program's own work in a wake, without the system's. Prints the median
// of 10,000 timed sends.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "net/magic_sender.h"

namespace {

constexpr int kRuns = 10000;
constexpr int kWarmUp = 1000;

std::size_t g_bytes_sent = 0;  // keeps the sends from being optimised away

class NoOpSocket final : public DatagramSocket {
public:
    bool EnableBroadcast() override { return true; }
    bool BindTo(const std::array<std::uint8_t, 4>&) override { return true; }
    bool SendTo(const WireEndpoint&, const std::vector<std::uint8_t>& bytes) override {
        g_bytes_sent += bytes.size();
        return true;
    }
};

class NoOpSockets final : public DatagramSockets {
public:
    std::unique_ptr<DatagramSocket> OpenUdp() override { return std::make_unique<NoOpSocket>(); }
};

}  // namespace

int main() {
    using Clock = std::chrono::steady_clock;
    NoOpSockets sockets;
    for (int i = 0; i < kWarmUp; ++i) SendMagicPacket(sockets, "00-1A-2B-3C-4D-5E", 40000, "secret", {});

    std::vector<double> ns;
    ns.reserve(kRuns);
    int failures = 0;
    for (int i = 0; i < kRuns; ++i) {
        const Clock::time_point start = Clock::now();
        const bool sent = SendMagicPacket(sockets, "00-1A-2B-3C-4D-5E", 40000, "secret", {});
        const Clock::time_point end = Clock::now();
        if (!sent) ++failures;
        ns.push_back(std::chrono::duration<double, std::nano>(end - start).count());
    }
    std::sort(ns.begin(), ns.end());
    std::printf("magic packet build + send (no-op sockets), %d runs: median %.0f ns, "
                "p10 %.0f ns, p90 %.0f ns (%zu bytes sent, %d failures)\n",
                kRuns, ns[kRuns / 2], ns[kRuns / 10], ns[kRuns * 9 / 10], g_bytes_sent, failures);
    return failures == 0 ? 0 : 1;
}
