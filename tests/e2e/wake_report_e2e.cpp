// What /wake /wait reports when the wire says more than "it answered": a PC that was on
// before its packet, another device at the typed address, the woken PC at a new address
// of the LAN (found by a sweep of the LAN, and remembered), and silence. Each case is
// one run of the program with its output on a pipe, judged by its line, its exit code,
// its time, the registry and what a capture in the program's namespace saw.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/cache_entries.h"
#include "tests/e2e/driver.h"
#include "tests/e2e/figures.h"
#include "tests/e2e/wire.h"

namespace {

using e2e::NowMs;

// The peer's MAC is the same in every run (scripts/testnet.sh, TARVEX_PEER_MAC).
constexpr char kPeerMac[] = "02-77-00-00-00-02";

// What the program asked of each address of its LAN: an echo request reaches the wire
// only for an address whose ARP request was answered; for any other, the kernel's
// ARP requests (a few per address) are what shows that it was asked.
struct Asked {
    std::map<std::string, int> echoes;  // echo requests, by destination
    std::map<std::string, int> arp;     // ARP requests, by the address asked for
    std::map<std::string, std::vector<double>> arp_times;  // from the capture's start, by the address asked for
};

Asked WhatWasAsked(e2e::Capture& capture) {
    Asked asked;
    for (const std::string& line : capture.Read("icmp.type==8 && ip.src==10.77.0.1", {"ip.dst"})) ++asked.echoes[line];
    for (const std::string& line : capture.Read("arp.opcode==1 && arp.src.proto_ipv4==10.77.0.1",
                                                {"arp.dst.proto_ipv4", "frame.time_relative"})) {
        const size_t bar = line.find('|');
        ++asked.arp[line.substr(0, bar)];
        asked.arp_times[line.substr(0, bar)].push_back(std::atof(line.c_str() + bar + 1));
    }
    return asked;
}

std::unique_ptr<e2e::Capture> CaptureWhatIsAsked() {
    return e2e::Capture::Start(e2e::Side::kProgram, "\"$TARVEX_PROG_IF\"", "icmp or arp");
}

TEST(WakeReportE2e, APcThatAnsweredBeforeItsPacketWasAlreadyOn) {
    const double start = NowMs();
    const e2e::CommandRun run =
        e2e::RunProgramWithArguments(std::string("/wake ") + kPeerMac + " /ip 10.77.0.2 /wait /timeout 20", 30000);
    const double seconds = (NowMs() - start) / 1000;
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(0));
    EXPECT_EQ(run.output, "The PC was already on.\r\n");
    EXPECT_LT(seconds, 5);
    std::printf("[ measure  ] already on: reported %.1f s after the start\n", seconds);
}

// The peer answers at the address, but its ARP row names its own MAC, not the woken
// one: said, with exit code 4. A /timeout of 20 s leaves no room for a sweep (it would
// start 60 s after the send at the earliest), so nothing can change the verdict: it
// comes with the first answer, and a line says why no sweep ran.
TEST(WakeReportE2e, AnotherDeviceAtTheAddressIsNamedWithExitCodeFour) {
    const double start = NowMs();
    const e2e::CommandRun run =
        e2e::RunProgramWithArguments("/wake 02-77-00-00-01-70 /ip 10.77.0.2 /wait /timeout 20", 40000);
    const double seconds = (NowMs() - start) / 1000;
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(4));
    EXPECT_EQ(run.output,
              "A device with another MAC (02-77-00-00-00-02) answers at 10.77.0.2. It may not be the PC you woke.\r\n"
              "No sweep for a new address: /timeout leaves no room for it (it needs at least 64 s).\r\n");
    EXPECT_LT(seconds, 5);
    std::printf("[ measure  ] another MAC: reported %.1f s after the start\n", seconds);
    e2e::DeleteCacheEntry("10.77.0.2");
}

// The typed address stays silent; the woken PC came up at 10.77.0.60. The sweep, 60 s
// after the send (the /timeout leaves it room), asks every other address of the LAN
// once, spread over seconds, finds the woken MAC in the ARP table, and the report names
// the new address, which is remembered beside the old pair.
TEST(WakeReportE2e, APcThatCameUpAtANewAddressIsFoundAndRemembered) {
    const e2e::SleepingPeer sleeper("10.77.0.60", "02:77:00:00:01:60", 2);
    ASSERT_TRUE(sleeper.started()) << sleeper.output();
    const auto capture = CaptureWhatIsAsked();
    ASSERT_TRUE(capture) << "no capture in the program's namespace";
    const double start = NowMs();
    const e2e::CommandRun run =
        e2e::RunProgramWithArguments("/wake 02-77-00-00-01-60 /ip 10.77.0.61 /wait /timeout 66", 90000);
    const double seconds = (NowMs() - start) / 1000;
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(0));
    EXPECT_EQ(run.output, "The PC has been turned on at 10.77.0.60.\r\n");
    EXPECT_GE(seconds, 60);
    EXPECT_LE(seconds, 66);
    EXPECT_TRUE(sleeper.Awake());

    const auto remembered = e2e::ReadCacheEntry("10.77.0.60");
    ASSERT_TRUE(remembered.has_value());
    EXPECT_EQ(remembered->bytes, std::string("02-77-00-00-01-60") + '\0');
    const auto old_pair = e2e::ReadCacheEntry("10.77.0.61");
    ASSERT_TRUE(old_pair.has_value());
    EXPECT_EQ(old_pair->bytes, std::string("02-77-00-00-01-60") + '\0');

    // Every other address of the LAN asked, at most one echo request each, this PC's
    // own address and the broadcast left out.
    const Asked asked = WhatWasAsked(*capture);
    ASSERT_TRUE(capture->ok());
    int swept = 0;
    for (int host = 2; host <= 254; ++host) {
        if (host == 61) continue;  // the watched address, probed again and again
        const std::string address = "10.77.0." + std::to_string(host);
        const bool was_asked = asked.echoes.count(address) + asked.arp.count(address) > 0;
        EXPECT_TRUE(was_asked) << address;
        EXPECT_LE(asked.echoes.count(address) ? asked.echoes.at(address) : 0, 1) << address;
        swept += was_asked;
    }
    for (const char* never : {"10.77.0.1", "10.77.0.255"}) {
        EXPECT_EQ(asked.echoes.count(never) + asked.arp.count(never), 0u) << never;
    }
    // Spread out, not a burst: the first ARP requests of the sweep's addresses span seconds.
    double first = 1e9, last = 0, first_unknown = 1e9;
    for (const auto& [address, times] : asked.arp_times) {
        if (address == "10.77.0.61" || times.empty()) continue;
        first = std::min(first, times.front());
        last = std::max(last, times.front());
        if (address != "10.77.0.2") first_unknown = std::min(first_unknown, times.front());
    }
    // (The kernel's own ARP refreshes of the peer can stretch it; only the floor counts.)
    const double spread = last - first;
    EXPECT_GE(spread, 2.5);
    // Nothing but the peer is asked before 60 s after the send: the times count from the
    // capture's first packet, at the latest the request for the typed address that the
    // probe before the packet makes.
    EXPECT_GE(first_unknown, 59);
    std::printf("[ measure  ] new address: reported %.1f s after the start; %d addresses swept over %.1f s\n",
                seconds, swept, spread);
    e2e::DeleteCacheEntry("10.77.0.60");
    e2e::DeleteCacheEntry("10.77.0.61");
}

// /nosweep: the same PC at its new address stays unfound, and nothing but the typed
// address is asked.
TEST(WakeReportE2e, NoSweepAsksNoOtherAddress) {
    const e2e::SleepingPeer sleeper("10.77.0.60", "02:77:00:00:01:60", 2);
    ASSERT_TRUE(sleeper.started()) << sleeper.output();
    // The kernel still asks, a few times over seconds, for the addresses an earlier case's
    // sweep left unresolved: forgotten, they are asked no more.
    const auto flushed = e2e::RunOnHost("ip neigh flush dev \"$TARVEX_PROG_IF\"");
    ASSERT_TRUE(flushed && flushed->exit_code == 0) << (flushed ? flushed->output : "no answer from the host side");
    const auto capture = CaptureWhatIsAsked();
    ASSERT_TRUE(capture) << "no capture in the program's namespace";
    const e2e::CommandRun run =
        e2e::RunProgramWithArguments("/wake 02-77-00-00-01-60 /ip 10.77.0.61 /wait /timeout 8 /nosweep", 30000);
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(1));
    EXPECT_EQ(run.output, "The PC could not been turned on.\r\n");
    const Asked asked = WhatWasAsked(*capture);
    ASSERT_TRUE(capture->ok());
    EXPECT_EQ(asked.echoes.size(), 0u);  // the typed address never resolved
    std::string addresses;
    for (const auto& [address, count] : asked.arp) addresses += address + " ";
    ASSERT_EQ(asked.arp.size(), 1u) << addresses;
    EXPECT_EQ(asked.arp.begin()->first, "10.77.0.61");
    EXPECT_FALSE(e2e::ReadCacheEntry("10.77.0.60").has_value());
    e2e::DeleteCacheEntry("10.77.0.61");
}

// Nobody anywhere: the report comes at the watch's end, and says that the /timeout left
// no room for a sweep.
TEST(WakeReportE2e, SilenceIsReportedAtTheEndOfTheWatch) {
    const double start = NowMs();
    const e2e::CommandRun run =
        e2e::RunProgramWithArguments("/wake 02-77-00-00-01-80 /ip 10.77.0.99 /wait /timeout 20", 40000);
    const double seconds = (NowMs() - start) / 1000;
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(1));
    EXPECT_EQ(run.output,
              "The PC could not been turned on.\r\n"
              "No sweep for a new address: /timeout leaves no room for it (it needs at least 64 s).\r\n");
    EXPECT_GE(seconds, 20);
    EXPECT_LE(seconds, 23);
    std::printf("[ measure  ] silence: reported %.1f s after the start\n", seconds);
    e2e::DeleteCacheEntry("10.77.0.99");
}

}  // namespace
