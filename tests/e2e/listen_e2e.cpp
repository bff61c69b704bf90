// /listen as the PC to be woken runs it: the program listens in its namespace with its
// output on a pipe while real datagrams come in from the peer, or do not, judged by the
// lines it prints and its exit code.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "tests/e2e/driver.h"
#include "tests/e2e/wire.h"

namespace {

std::vector<std::string> OutputLines(const std::string& output) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = output.find("\r\n", at)) != std::string::npos; at = end + 2) {
        lines.push_back(output.substr(at, end - at));
    }
    return lines;
}

// "hh:mm:ss<from>...<ending>": where the packet was sent to is left out, since Wine
// need not tell it.
void ExpectHeardLine(const std::string& line, const std::string& from, const std::string& ending) {
    SCOPED_TRACE(line);
    ASSERT_GT(line.size(), 8 + from.size() + ending.size());
    for (std::size_t i : {0, 1, 3, 4, 6, 7}) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(line[i])));
    EXPECT_EQ(line.substr(2, 1) + line.substr(5, 1), "::");
    EXPECT_EQ(line.substr(8, from.size()), from);
    EXPECT_EQ(line.substr(line.size() - ending.size()), ending);
}

TEST(ListenE2e, SaysEachMagicPacketFromThePeerCountsTheOtherDatagramAndEndsWithZero) {
    // The program's veth: its MAC, one of this PC's to the program, and its name, which
    // Wine gives as the adapter's description.
    const auto veth =
        e2e::RunOnHost("tr a-f: A-F- </sys/class/net/\"$TARVEX_PROG_IF\"/address; echo \"$TARVEX_PROG_IF\"");
    ASSERT_TRUE(veth && veth->exit_code == 0);
    const std::size_t newline = veth->output.find('\n');
    const std::string mac_text = veth->output.substr(0, newline);
    const std::string name = veth->output.substr(newline + 1, veth->output.find('\n', newline + 1) - newline - 1);

    // The peer sends once the program has bound its three ports; a datagram that came
    // earlier would be refused by the kernel. The program ends by itself after /for.
    const std::string peer = e2e::InNamespace(e2e::Side::kPeer);
    const auto started = e2e::RunOnHost(
        "(\n"
        "  for i in $(seq 150); do\n"
        "    [ \"$(ss -Hlun '( sport = :40000 or sport = :9 or sport = :7 )' | wc -l)\" -ge 3 ] && break\n"
        "    sleep 0.1\n"
        "  done\n" +
        peer + "wakeonlan -i 10.77.0.255 -p 9 02:00:00:00:00:09\n" + peer +
        "python3 -c 'import socket, sys\n"
        "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
        "s.bind((\"10.77.0.2\", 50009))\n"
        "mac = bytes.fromhex(sys.argv[1].replace(\"-\", \"\"))\n"
        "s.sendto(b\"\\xff\" * 6 + mac * 16 + b\"secret\", (\"10.77.0.1\", 40000))\n"
        "s.sendto(b\"no magic packet\", (\"10.77.0.1\", 7))' " +
        mac_text + "\n) >/dev/null 2>&1 &\n");
    ASSERT_TRUE(started && started->exit_code == 0);

    const e2e::CommandRun run = e2e::RunProgramWithArguments("/listen /for 10", 40000);
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(0));
    const std::vector<std::string> lines = OutputLines(run.output);
    ASSERT_EQ(lines.size(), 4u) << run.output;
    EXPECT_EQ(lines[0], "Listening for magic packets on UDP ports 40000, 9 and 7 for 10 s; Ctrl-C stops.");
    ExpectHeardLine(lines[1], " from 10.77.0.2:", ": 02-00-00-00-00-09, not a MAC of this PC");
    ExpectHeardLine(lines[2], " from 10.77.0.2:50009 to ",
                    ": " + mac_text + ", password 73-65-63-72-65-74 (\"secret\"), matches " + name);
    EXPECT_EQ(lines[3], "In 10 s: 2 magic packets, 1 for this PC; 1 other datagram.");
}

TEST(ListenE2e, APortHeldElsewhereIsSaidAndWithNothingSentItEndsAfterItsTimeWithOne) {
    // Another program on port 9 of the program's namespace, for longer than the run.
    const std::string pid = e2e::UniqueHostPath("tvx-hold");
    const e2e::HostChange held("python3 -c 'import socket, time\n"
                               "s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
                               "s.bind((\"0.0.0.0\", 9))\n"
                               "time.sleep(60)' >/dev/null 2>&1 &\n"
                               "echo $! >" + pid + "\n"
                               "for i in $(seq 50); do ss -Hlun sport = :9 | grep -q . && exit 0; sleep 0.1; done\n"
                               "exit 1",
                               "kill $(cat " + pid + "); rm -f " + pid);
    ASSERT_TRUE(held.applied()) << held.output();
    const DWORD start = GetTickCount();
    const e2e::CommandRun run = e2e::RunProgramWithArguments("/listen /for 2", 30000);
    EXPECT_GE(GetTickCount() - start, 2000u);
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(1));
    // The last line names the exe by the full path the system gives it.
    const std::string lines = "Could not bind UDP port 9: the port is in use (10048).\r\n"
                              "Listening for magic packets on UDP ports 40000 and 7 for 2 s; Ctrl-C stops.\r\n"
                              "In 2 s: nothing arrived. Suspect Windows Firewall first; an administrator allows this "
                              "program on every network with: netsh advfirewall firewall add rule "
                              "name=\"TARVEX WOL listen\" dir=in action=allow program=\"";
    const std::string end = "\\tarvex-wol.exe\" protocol=UDP localport=40000,9,7 profile=any\r\n";
    ASSERT_GT(run.output.size(), lines.size() + end.size()) << run.output;
    EXPECT_EQ(run.output.substr(0, lines.size()), lines);
    EXPECT_EQ(run.output.substr(lines.size() + 1, 2), ":\\") << run.output;
    EXPECT_EQ(run.output.substr(run.output.size() - end.size()), end);
}

}  // namespace
