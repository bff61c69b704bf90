#include "app/listen_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "net/magic_packet.h"

namespace {

using Lines = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

Bytes Join(const Bytes& a, const Bytes& b) {
    Bytes joined = a;
    joined.insert(joined.end(), b.begin(), b.end());
    return joined;
}

const MacBytes kThisPcMac = {0x02, 0x00, 0x0A, 0x4D, 0x00, 0x01};

// Every port open; one LAN adapter, and a tunnel whose hardware address reads as zeros.
ListenSetup ThisPc(std::vector<PortOpening> ports = {{40000, {}}, {9, {}}, {7, {}}}) {
    return ListenSetup{std::move(ports),
                       {{kThisPcMac, "Intel(R) Ethernet"}, {MacBytes{}, "Tunnel"}},
                       {{{10, 77, 0, 1}, {255, 255, 255, 0}}, {{0, 0, 0, 0}, {0, 0, 0, 0}}},
                       "C:\\Program Files\\TARVEX WOL\\tarvex-wol.exe",
                       10};
}

ReceivedDatagram FromPeer(Bytes bytes, std::uint16_t to_port = 9, std::optional<Ipv4Bytes> to = std::nullopt) {
    return ReceivedDatagram{std::move(bytes), {10, 77, 0, 2}, 5000, to_port, to};
}

TEST(ListenLine, SaysSenderDestinationMacPasswordAndWhetherTheMacIsThisPcs) {
    struct Case {
        ReceivedDatagram datagram;
        MacBytes mac;
        Bytes password;
        std::string line;
    };
    const Case cases[] = {
        {FromPeer({}), {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, {},
         "09:05:03 from 10.77.0.2:5000 to port 9 (the system does not tell which address): 00-1A-2B-3C-4D-5E, "
         "not a MAC of this PC"},
        {FromPeer({}, 40000, Ipv4Bytes{255, 255, 255, 255}), kThisPcMac, {'s', 'e', 'c', 'r', 'e', 't'},
         "09:05:03 from 10.77.0.2:5000 to broadcast 255.255.255.255:40000: 02-00-0A-4D-00-01, password "
         "73-65-63-72-65-74 (\"secret\"), matches Intel(R) Ethernet"},
        {FromPeer({}, 9, Ipv4Bytes{10, 77, 0, 255}), kThisPcMac, {0x00, 0x01, 0xFF, 0x20},
         "09:05:03 from 10.77.0.2:5000 to broadcast 10.77.0.255:9: 02-00-0A-4D-00-01, password 00-01-FF-20, "
         "matches Intel(R) Ethernet"},
        {FromPeer({}, 7, Ipv4Bytes{10, 77, 0, 1}), kThisPcMac, {},
         "09:05:03 from 10.77.0.2:5000 to this PC's address 10.77.0.1:7: 02-00-0A-4D-00-01, matches Intel(R) Ethernet"},
        // Another LAN's broadcast, and a MAC no adapter has although the tunnel's reads the same.
        {FromPeer({}, 9, Ipv4Bytes{10, 78, 0, 255}), MacBytes{}, {},
         "09:05:03 from 10.77.0.2:5000 to 10.78.0.255:9: 00-00-00-00-00-00, not a MAC of this PC"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatHeardLine(TimeOfDay{9, 5, 3}, c.datagram, FoundMagicPacket{c.mac, c.password}, ThisPc()),
                  c.line);
    }
}

// Datagrams that arrive at given times (empty: the wait fails then), on a clock that
// moves only by the waits and starts just before it wraps.
struct FakeListen final : ListenSystem {
    FakeListen(std::vector<std::pair<std::uint32_t, Bytes>> a, std::uint32_t stop, const Lines& s)
        : arrivals(std::move(a)), stop_at_ms(stop), said(s) {}

    static constexpr std::uint32_t kStart = 0xFFFFF000u;
    std::vector<std::pair<std::uint32_t, Bytes>> arrivals;
    std::uint32_t stop_at_ms;
    const Lines& said;
    std::uint32_t now = kStart;
    std::size_t next = 0, said_at_last_wait = 0;
    int longest_slice = 0;

    ListenWait Receive(int slice_ms, ReceivedDatagram& datagram, SocketFailure& failure) override {
        longest_slice = std::max(longest_slice, slice_ms);
        said_at_last_wait = said.size();
        if (next == arrivals.size() || arrivals[next].first > now - kStart + slice_ms) {
            now += static_cast<std::uint32_t>(slice_ms);
            return ListenWait::kNothing;
        }
        now = kStart + arrivals[next].first;
        const Bytes& bytes = arrivals[next++].second;
        failure = SocketFailure{"select", 10038};
        datagram = FromPeer(bytes);
        return bytes.empty() ? ListenWait::kFailed : ListenWait::kReceived;
    }
    std::uint32_t TickCount() override { return now; }
    TimeOfDay LocalTime() override { return TimeOfDay{12, 0, static_cast<int>((now - kStart) / 1000)}; }
    bool StopAsked() override { return now - kStart >= stop_at_ms; }
};

// The command that lets the program receive: its own path quoted, the form the version
// of Windows knows.
TEST(Listen, TheFirewallCommandNamesThisProgramInTheFormOfItsWindows) {
    const std::string path = "D:\\My Tools\\wol (copy)\\tarvex-wol.exe";
    const std::string vista_on = "netsh advfirewall firewall add rule name=\"TARVEX WOL listen\" dir=in action=allow "
                                 "program=\"" + path + "\" protocol=UDP localport=40000,9,7 profile=any";
    const struct {
        unsigned long major;
        std::string command;
    } cases[] = {
        {5, "netsh firewall add allowedprogram program=\"" + path + "\" name=\"TARVEX WOL\" mode=ENABLE profile=ALL"},
        {6, vista_on},
        {10, vista_on},
        {0, vista_on},
    };
    for (const auto& c : cases) EXPECT_EQ(FirewallAllowCommand(path, c.major), c.command) << c.major;
}

TEST(Listen, SaysEachMagicPacketAsItComesAndEndsWithACountAndTheCode) {
    const Bytes mine = BuildMagicPacket("02-00-0A-4D-00-01", ""), other = BuildMagicPacket("00-1A-2B-3C-4D-5E", "");
    const Bytes hello = {'h', 'i'};
    const std::string start = "Listening for magic packets on UDP ports 40000, 9 and 7 for 10 s; Ctrl-C stops.";
    const std::string to = " from 10.77.0.2:5000 to port 9 (the system does not tell which address): ";
    const std::string heard_mine = "12:00:01" + to + "02-00-0A-4D-00-01, matches Intel(R) Ethernet";
    const std::string heard_other = "12:00:02" + to + "00-1A-2B-3C-4D-5E, not a MAC of this PC";
    const std::string firewall =
        ": nothing arrived. Suspect Windows Firewall first; an administrator allows this program on every network "
        "with: netsh advfirewall firewall add rule name=\"TARVEX WOL listen\" dir=in action=allow "
        "program=\"C:\\Program Files\\TARVEX WOL\\tarvex-wol.exe\" protocol=UDP localport=40000,9,7 profile=any";
    const std::uint32_t never = 0xFFFFFFFFu;
    struct Case {
        const char* what;
        ListenSetup setup;
        std::vector<std::pair<std::uint32_t, Bytes>> arrivals;
        std::uint32_t stop_at_ms;
        int exit_code;
        Lines lines;
    };
    const Case cases[] = {
        {"one for this PC", ThisPc(), {{1000, mine}, {2500, other}, {2600, hello}}, never, 0,
         {start, heard_mine, heard_other, "In 10 s: 2 magic packets, 1 for this PC; 1 other datagram."}},
        // Another PC's packet, then this PC's, in one datagram.
        {"two in one datagram", ThisPc(), {{1000, Join(other, mine)}}, never, 0,
         {start, heard_mine, "12:00:01" + to + "00-1A-2B-3C-4D-5E, not a MAC of this PC",
          "In 10 s: 2 magic packets, 1 for this PC; 0 other datagrams."}},
        {"none for this PC", ThisPc(), {{2000, other}, {3000, hello}, {3000, hello}}, never, 1,
         {start, heard_other, "In 10 s: 1 magic packet, none for this PC; 2 other datagrams."}},
        {"no magic packet", ThisPc(), {{5000, hello}}, never, 1,
         {start, "In 10 s: 0 magic packets; 1 other datagram."}},
        {"nothing", ThisPc(), {}, never, 1, {start, "In 10 s" + firewall}},
        {"Ctrl-C", ThisPc(), {{1000, mine}, {4000, other}}, 1500, 0,
         {start, heard_mine, "Stopped after 1 s: 1 magic packet, 1 for this PC; 0 other datagrams."}},
        {"a failed wait", ThisPc(), {{1200, {}}}, never, 1,
         {start, "Listening ended: select failed: Winsock error (10038).", "Stopped after 1 s: nothing arrived."}},
        {"a port in use", ThisPc({{40000, {}}, {9, {"bind", 10048}}, {7, {}}}), {}, never, 1,
         {"Could not bind UDP port 9: the port is in use (10048).",
          "Listening for magic packets on UDP ports 40000 and 7 for 10 s; Ctrl-C stops.", "In 10 s" + firewall}},
        {"no port", ThisPc({{40000, {"bind", 10013}}, {9, {"socket", 10093}}, {7, {"bind", 10048}}}), {}, never, 3,
         {"Could not bind UDP port 40000: another program holds it for itself, or Windows reserves it (10013).",
          "Could not listen on UDP port 9: socket failed: Winsock did not start (10093).",
          "Could not bind UDP port 7: the port is in use (10048).",
          "No UDP port could be bound: nothing can be heard."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Lines said;
        FakeListen fake(c.arrivals, c.stop_at_ms, said);
        EXPECT_EQ(RunListen(10, c.setup, fake, [&](const std::string& line) { said.push_back(line); }), c.exit_code);
        EXPECT_EQ(said, c.lines);
        EXPECT_LE(fake.longest_slice, kListenSliceMs);
        if (c.exit_code == 3) continue;
        // Every line but those about the end was out before the last wait, and a run
        // that was not stopped ends on its deadline exactly.
        const bool failed = !c.arrivals.empty() && c.arrivals.back().second.empty();
        EXPECT_EQ(fake.said_at_last_wait, said.size() - (failed ? 2 : 1));
        if (c.stop_at_ms == never && !failed) {
            EXPECT_EQ(fake.now - FakeListen::kStart, 10000u);
        }
    }
}

// A box's lines "line 0", "line 1" and on.
BoxLines Numbered(std::size_t count, std::size_t* most_kept = nullptr) {
    BoxLines lines;
    for (std::size_t i = 0; i < count; ++i) {
        lines.Add("line " + std::to_string(i));
        if (most_kept) *most_kept = std::max(*most_kept, lines.Kept().size());
    }
    return lines;
}

TEST(Listen, ABoxShowsTheFirstLinesAndAlwaysTheLast) {
    std::string expected;
    for (int i = 0; i < 23; ++i) expected += "line " + std::to_string(i) + "\n";
    EXPECT_EQ(ListenBox(Numbered(30), 0).text, expected + "(6 more lines)\nline 29");
    EXPECT_EQ(ListenBox(Numbered(25), 1).text.find("more lines"), std::string::npos);
    BoxLines no_port;
    no_port.Add("No UDP port could be bound: nothing can be heard.");
    EXPECT_EQ(ListenBox(no_port, 3).icon, MessageIcon::kError);
}

TEST(Listen, ABoxKeepsNoMoreLinesThanItShows) {
    std::string first23;
    for (int i = 0; i < 23; ++i) first23 += "line " + std::to_string(i) + "\n";
    const struct {
        std::size_t count;
        std::string text;
    } cases[] = {
        {0, ""},
        {1, "line 0"},
        {25, first23 + "line 23\nline 24"},
        {26, first23 + "(2 more lines)\nline 25"},
        {1000000, first23 + "(999976 more lines)\nline 999999"},
    };
    for (const auto& c : cases) {
        std::size_t most_kept = 0;
        EXPECT_EQ(ListenBox(Numbered(c.count, &most_kept), 0).text, c.text) << c.count;
        EXPECT_LE(most_kept, kListenBoxLines) << c.count;
    }
}

}  // namespace
