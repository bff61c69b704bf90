#include "net/probe_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "net/echo_probe.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(ProbeHandle, SeesOnlyAnAnswerThatCameBeforeItLetGo) {
    auto state = std::make_shared<ProbeState>("10.77.0.2", 500);
    ProbeHandle handle(state);
    EXPECT_FALSE(handle.IsAnswered());
    state->Finish(ProbeResult::kNoAnswer);
    EXPECT_FALSE(handle.IsAnswered());
    state->Finish(ProbeResult::kAnswered);
    EXPECT_TRUE(handle.IsAnswered());
    EXPECT_FALSE(state->IsAbandoned());
    handle.Abandon();
    EXPECT_FALSE(handle.IsAnswered());
    EXPECT_TRUE(state->IsAbandoned());
    EXPECT_EQ(state.use_count(), 1);  // the handle let go of its share
}

TEST(ProbeHandle, AbandonsWhenDestroyedOrReplaced) {
    auto first = std::make_shared<ProbeState>("a", 500);
    auto second = std::make_shared<ProbeState>("b", 500);
    {
        ProbeHandle handle(first);
        ProbeHandle moved(std::move(handle));
        EXPECT_FALSE(first->IsAbandoned());  // a move is not a release
        moved = ProbeHandle(second);
        EXPECT_TRUE(first->IsAbandoned());
        EXPECT_FALSE(second->IsAbandoned());
    }
    EXPECT_TRUE(second->IsAbandoned());
    EXPECT_EQ(first.use_count(), 1);
    EXPECT_EQ(second.use_count(), 1);
}

// A network where nothing ever answers: every wait takes its full slice. The probe's
// socket reports its closing through a flag the test holds a share of.
struct SilentNetwork : EchoNetwork {
    std::shared_ptr<std::atomic<bool>> closed = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> sent = std::make_shared<std::atomic<bool>>(false);

    struct Sockets : ProbeSockets {
        SilentNetwork* net;
        explicit Sockets(SilentNetwork* n) : net(n) {}
        ~Sockets() override { net->closed->store(true); }
        bool SendEcho(const Ipv4Bytes&, const EchoRequest&) override {
            net->sent->store(true);
            return true;
        }
        bool Connect(const Ipv4Bytes&, std::uint16_t, ConnectionKind) override { return true; }
        ProbeWaitResult Wait(int slice_ms, std::uint8_t*, std::size_t) override {
            std::this_thread::sleep_for(milliseconds(slice_ms));
            return {};
        }
    };
    std::unique_ptr<ProbeSockets> OpenSockets(bool) override { return std::make_unique<Sockets>(this); }
    bool Resolve(const std::string&, Ipv4Bytes&) override { return false; }
    std::uint32_t TickCount() override { return 0; }
    std::uint32_t NewProbeValue() override { return 0; }
    std::unique_ptr<IcmpApiEcho> StartEchoThroughIcmpApi(const Ipv4Bytes&, std::vector<std::uint8_t>,
                                                         std::int32_t) override {
        return nullptr;
    }
};

bool WaitUntil(const std::atomic<bool>& flag, milliseconds bound) {
    const auto until = Clock::now() + bound;
    while (!flag.load()) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
}

// The starter lets go of everything at once; the probe thread outlives it, keeps using
// its own copy of the host text and the shared state, notices the abandonment within a
// few slices, closes its socket and ends. Under ASan any use of freed memory fails here.
TEST(ProbeThread, EndsByItselfSoonAfterItsStarterLetsGo) {
    std::shared_ptr<std::atomic<bool>> closed;
    std::shared_ptr<std::atomic<bool>> sent;
    auto ended = std::make_shared<std::atomic<bool>>(false);
    ProbeHandle handle;
    {
        std::string host = "10.77.0.3";
        auto net = std::make_shared<SilentNetwork>();
        closed = net->closed;
        sent = net->sent;
        handle = StartProbe(host, 500, [net, ended](std::shared_ptr<ProbeState> state) {
            state->Finish(RunEchoProbe(*state, *net, HostReading::kAddressOnly));
            ended->store(true);
        });
        host.assign(64, 'x');  // the probe must not be reading the caller's text
    }
    ASSERT_TRUE(WaitUntil(*sent, milliseconds(2000)));
    std::this_thread::sleep_for(milliseconds(30));  // a few slices of waiting
    EXPECT_FALSE(closed->load());

    const auto let_go = Clock::now();
    handle.Abandon();
    EXPECT_LT(Clock::now() - let_go, milliseconds(5));  // the starter never waits
    ASSERT_TRUE(WaitUntil(*closed, milliseconds(2000)));
    // Nominally one slice (10 ms); generous for a loaded, sanitized build.
    EXPECT_LT(Clock::now() - let_go, milliseconds(200));
    EXPECT_TRUE(WaitUntil(*ended, milliseconds(2000)));
}

TEST(ProbeThread, ManyAbandonedProbesAllEnd) {
    constexpr int kProbes = 40;
    auto ended = std::make_shared<std::atomic<int>>(0);
    auto net = std::make_shared<SilentNetwork>();
    for (int i = 0; i < kProbes; ++i) {
        ProbeHandle handle = StartProbe("10.77.0.3", 500, [net, ended](std::shared_ptr<ProbeState> s) {
            s->Finish(RunEchoProbe(*s, *net, HostReading::kAddressOnly));
            ++*ended;
        });
        // Dropped at once, as a starter whose time is up does.
    }
    const auto until = Clock::now() + milliseconds(5000);
    while (ended->load() < kProbes && Clock::now() < until) std::this_thread::sleep_for(milliseconds(5));
    EXPECT_EQ(ended->load(), kProbes);
}

}  // namespace
