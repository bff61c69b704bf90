// "Get MAC", the adapter list and the fields the main dialog opens with, judged
// against what the Linux kernel of the program's namespace itself holds: its
// neighbour table (rows added with `ip neigh`, or learnt from a real ping) and its
// interfaces with their hardware addresses.
#include <winsock2.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "net/arp_sources-win32.h"
#include "resource.h"
#include "tests/e2e/cache_entries.h"
#include "tests/e2e/driver.h"
#include "tests/e2e/program_case.h"

namespace {

using e2e::DeleteCache;
using e2e::Program;
using e2e::PutCacheEntry;
using e2e::ReadCacheEntry;

constexpr char kZeroMac[] = "00-00-00-00-00-00";
constexpr char kNotFoundText[] = "Can't figure out MAC from IP.\nTry to write the MAC directly.";
constexpr char kNotFoundCaption[] = "Error MAC no encontrada";
constexpr char kSentinel[] = "(before)";

// ---- The Linux side ----

// Runs `script` in the program's namespace; its output, or a failure of the test.
std::string Host(const std::string& script) {
    const auto result = e2e::RunOnHost(script);
    EXPECT_TRUE(result.has_value()) << script;
    if (!result) return "";
    EXPECT_EQ(result->exit_code, 0) << script << "\n" << result->output;
    return result->output;
}

// Undoes a change to the namespace when the test ends, whichever way it ends.
class HostUndo {
public:
    explicit HostUndo(std::string script) : script_(std::move(script)) {}
    ~HostUndo() { e2e::RunOnHost(script_); }
    HostUndo(const HostUndo&) = delete;
    HostUndo& operator=(const HostUndo&) = delete;

private:
    std::string script_;
};

// "0a:2c:55:7f:2a:71\n" as the program writes it: "0A-2C-55-7F-2A-71".
std::string MacFromLinux(std::string text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    for (char& c : text) c = c == ':' ? '-' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// What the adapter list should hold: the namespace's interfaces but loopback, in
// index order, each "MAC<tab>name\r\n", up to the first line that would take the text
// past 249 characters.
std::string ExpectedAdapterList() {
    const std::string listing = Host(
        "for d in /sys/class/net/*; do n=${d##*/}; [ \"$n\" = lo ] && continue;"
        " echo \"$(cat $d/ifindex) $n $(cat $d/address)\"; done | sort -n");
    std::istringstream lines(listing);
    std::string text;
    int index = 0;
    std::string name, mac;
    while (lines >> index >> name >> mac) {
        std::string line = MacFromLinux(mac) + "\t" + name;
        line = line.substr(0, 60) + "\r\n";
        if (text.size() + line.size() > 249) break;
        text += line;
    }
    return text;
}

class GetMacAndStartFill : public testing::Test {
protected:
    // Every case starts as a first start: no address cache at all.
    void SetUp() override { DeleteCache(); }
    void TearDown() override {
        program_.reset();
        DeleteCache();
    }

    void StartProgram() {
        ASSERT_NO_FATAL_FAILURE(e2e::StartWithMainDialog(program_, dialog_));
    }

    std::string Text(int id) const { return e2e::ControlText(dialog_, id); }
    bool MacFieldHasFocus() const {
        return e2e::WaitUntil([&] { return e2e::FocusedWindow(dialog_) == GetDlgItem(dialog_, IDC_MAC_ADDRESS); }, 2000);
    }
    bool NoMessageBox(DWORD ms = 300) const { return !e2e::WaitForMessageBox(program_->pid(), ms).has_value(); }

    std::optional<Program> program_;
    HWND dialog_ = nullptr;
};

// ---- Get MAC ----

TEST_F(GetMacAndStartFill, GetMacAsksTheArpTableThenTheCacheAndReportsOnlyWhenNobodyKnows) {
    const HostUndo undo(
        "ip neigh del 10.77.0.9 dev \"$TARVEX_PROG_IF\"; ip neigh del 10.77.0.60 dev \"$TARVEX_PROG_IF\";"
        " ip neigh del 10.77.0.61 dev \"$TARVEX_PROG_IF\"; ip neigh del 10.77.0.62 dev \"$TARVEX_PROG_IF\";"
        " ip neigh del 255.255.255.255 dev \"$TARVEX_PROG_IF\"; true");
    Host("ip neigh replace 10.77.0.9 lladdr 02:00:00:00:00:09 nud permanent dev \"$TARVEX_PROG_IF\"\n"
         // An entry still being resolved: the kernel lists it with an all-zero address.
         "ip neigh replace 10.77.0.60 nud incomplete dev \"$TARVEX_PROG_IF\"\n"
         // Group addresses name no machine: a multicast one and the broadcast one.
         "ip neigh replace 10.77.0.61 lladdr 01:00:5e:00:00:01 nud permanent dev \"$TARVEX_PROG_IF\"\n"
         "ip neigh replace 10.77.0.62 lladdr ff:ff:ff:ff:ff:ff nud permanent dev \"$TARVEX_PROG_IF\"\n"
         "ping -c 1 -W 2 10.77.0.2 >/dev/null");
    const std::string peer_mac =
        MacFromLinux(Host("ip netns exec \"$TARVEX_PEER_NS\" cat /sys/class/net/\"$TARVEX_PEER_IF\"/address"));
    ASSERT_EQ(peer_mac.size(), 17u);
    ASSERT_TRUE(PutCacheEntry("10.77.0.9", "11-11-11-11-11-11"));  // the table comes first
    ASSERT_TRUE(PutCacheEntry("10.77.0.60", "0A-0B-0C-0D-0E-0F"));
    ASSERT_TRUE(PutCacheEntry("10.77.0.62", "02-00-00-00-00-62"));
    ASSERT_TRUE(PutCacheEntry("10.77.0.50", "0a:0b:0c:0d:0e:0f"));
    ASSERT_TRUE(PutCacheEntry("10.77.0.51", "not a mac"));
    ASSERT_TRUE(PutCacheEntry("10.77.0.52abcde", "52-52-52-52-52-52"));

    // The all-zero row is really there for the program to see.
    const std::vector<ArpRow> rows = IpHelperArpTable().ReadRows();
    const std::uint32_t incomplete = inet_addr("10.77.0.60");
    ASSERT_TRUE(std::any_of(rows.begin(), rows.end(), [&](const ArpRow& row) {
        return row.address == incomplete && IsZeroMac(row.physical.bytes);
    }));

    struct Case {
        const char* why;
        std::string typed;
        std::string mac;  // empty: nothing found
        const char* before = nullptr;  // run on the Linux side first
    };
    const Case cases[] = {
        {"static neighbour", "10.77.0.9", "02-00-00-00-00-09"},
        {"the peer after a ping", "10.77.0.2", peer_mac},
        {"incomplete entry: the cache is still asked", "10.77.0.60", "0A-0B-0C-0D-0E-0F"},
        {"multicast neighbour is not offered", "10.77.0.61", ""},
        {"broadcast neighbour: the cache is still asked", "10.77.0.62", "02-00-00-00-00-62"},
        {"cache only, as stored", "10.77.0.50", "0a:0b:0c:0d:0e:0f"},
        {"cache text that is no MAC", "10.77.0.51", "not a mac"},
        {"only 15 characters are read", "10.77.0.52abcdeXYZ", "52-52-52-52-52-52"},
        {"nobody knows", "10.77.0.77", ""},
        {"nobody knows an empty field", "", ""},
        {"leading zeros are decimal", "10.77.0.009", "02-00-00-00-00-09"},
        // A text that names no address is looked for in the cache only, never in the
        // table, even where the broadcast address has a row.
        {"no address: not the broadcast row", "no.such.host", "",
         "ip neigh replace 255.255.255.255 lladdr 02:00:00:00:00:ff nud permanent dev \"$TARVEX_PROG_IF\""},
    };
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        if (c.before) Host(c.before);
        e2e::SetControlText(dialog_, IDC_IP_ADDRESS, c.typed);
        e2e::SetControlText(dialog_, IDC_MAC_ADDRESS, kSentinel);
        e2e::Click(dialog_, IDC_GET_MAC);
        ASSERT_TRUE(e2e::WaitUntil([&] { return Text(IDC_MAC_ADDRESS) != kSentinel; }, 5000));
        if (!c.mac.empty()) {
            EXPECT_EQ(Text(IDC_MAC_ADDRESS), c.mac);
            EXPECT_TRUE(NoMessageBox());
            // The click gave the button the focus; a found address leaves it there.
            EXPECT_NE(e2e::FocusedWindow(dialog_), GetDlgItem(dialog_, IDC_MAC_ADDRESS));
            continue;
        }
        const auto box = e2e::WaitForMessageBox(program_->pid(), 5000);
        ASSERT_TRUE(box.has_value());
        EXPECT_EQ(box->caption, kNotFoundCaption);
        EXPECT_EQ(box->text, kNotFoundText);
        EXPECT_EQ(box->icon, e2e::MessageIcon::Error);
        EXPECT_EQ(box->owner, dialog_);
        EXPECT_EQ(Text(IDC_MAC_ADDRESS), kZeroMac);
        EXPECT_TRUE(e2e::DismissMessageBox(*box));
        EXPECT_TRUE(MacFieldHasFocus());
    }
    // "Get MAC" neither remembers nor caches anything.
    EXPECT_FALSE(ReadCacheEntry("10.77.0.2").has_value());
    EXPECT_FALSE(ReadCacheEntry("UltimaIP").has_value());
}

// ---- Start-up fill ----

TEST_F(GetMacAndStartFill, FirstStartShowsTheDefaultsAndTheAdapterWithItsRealMac) {
    const std::string own_mac = MacFromLinux(Host("cat /sys/class/net/\"$TARVEX_PROG_IF\"/address"));
    const std::string own_name = Host("printf %s \"$TARVEX_PROG_IF\"");
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    EXPECT_EQ(Text(IDC_IP_ADDRESS), "192.168.100.1");
    EXPECT_EQ(Text(IDC_CHECK_IP), "192.168.100.1");
    EXPECT_EQ(Text(IDC_MAC_ADDRESS), kZeroMac);
    EXPECT_EQ(Text(IDC_PASSWORD), "");
    // The veth comes first, and there is no loopback adapter. (Other adapters may
    // follow: Wine keeps listing interfaces it has seen once, for as long as its
    // server runs, even after they were deleted.)
    const std::string list = Text(IDC_LOCAL_MACS);
    const std::string first_line = own_mac + "\t" + own_name + "\r\n";
    EXPECT_EQ(list.substr(0, first_line.size()), first_line) << list;
    EXPECT_EQ(list.find("\tlo\r\n"), std::string::npos) << list;
    EXPECT_TRUE(NoMessageBox());
}

TEST_F(GetMacAndStartFill, ManyAdaptersAreListedNotTakenForNone) {
    // Ten veth pairs, left down: twenty-one adapters need more than 10 240 bytes of
    // adapter information (640 bytes each). Wine goes on listing them after they are
    // deleted, until its server ends, so this case compares exactly only the first
    // time it runs in a Wine session.
    const HostUndo undo("for i in $(seq 10); do ip link del tvxm$i 2>/dev/null; done; true");
    Host("for i in $(seq 10); do ip link add tvxm$i type veth peer name tvxn$i; done");
    const std::string expected = ExpectedAdapterList();
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    const std::string list = Text(IDC_LOCAL_MACS);
    EXPECT_EQ(list, expected);
    EXPECT_LE(list.size(), 249u);
    EXPECT_GE(std::count(list.begin(), list.end(), '\n'), 8) << list;
}

TEST_F(GetMacAndStartFill, RememberedIpComesBackAndIsResolvedSilently) {
    const HostUndo undo("ip neigh del 10.77.0.9 dev \"$TARVEX_PROG_IF\"; true");
    Host("ip neigh replace 10.77.0.9 lladdr 02:00:00:00:00:09 nud permanent dev \"$TARVEX_PROG_IF\"");
    struct Case {
        const char* remembered;
        std::string mac;  // empty: nothing found
        const char* shown = nullptr;  // null: as remembered
    };
    const Case cases[] = {
        {"10.77.0.9", "02-00-00-00-00-09"},
        {"10.77.0.78", ""},
        {"999.1.1.1", ""},  // not an address, put back unchanged
        {" 10.77.0.9\t", "02-00-00-00-00-09", "10.77.0.9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.remembered);
        ASSERT_TRUE(PutCacheEntry("UltimaIP", c.remembered));
        ASSERT_NO_FATAL_FAILURE(StartProgram());
        EXPECT_EQ(Text(IDC_IP_ADDRESS), c.shown ? c.shown : c.remembered);
        EXPECT_EQ(Text(IDC_CHECK_IP), c.shown ? c.shown : c.remembered);
        EXPECT_EQ(Text(IDC_MAC_ADDRESS), c.mac.empty() ? kZeroMac : c.mac);
        if (c.mac.empty()) {
            EXPECT_TRUE(MacFieldHasFocus());
        }
        EXPECT_NE(Text(IDC_LOCAL_MACS).find('\t'), std::string::npos);
        EXPECT_TRUE(NoMessageBox(500));
        program_.reset();
    }
}

TEST_F(GetMacAndStartFill, ClosingRemembersTheIpFieldEvenWhenEmpty) {
    struct Case {
        const char* typed;
        bool close_box;
        std::string saved;
    };
    const Case cases[] = {
        {"10.1.2.3", false, "10.1.2.3"},
        {"10.1.2.4", true, "10.1.2.4"},
        {"", false, ""},
        {"", true, ""},
        // More than the field admits by typing: 16 characters are kept.
        {"10.77.0.1234567890", false, "10.77.0.12345678"},
        {" 10.1.2.5 ", false, "10.1.2.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.typed) + (c.close_box ? " close box" : " Exit"));
        ASSERT_TRUE(PutCacheEntry("UltimaIP", "10.9.9.9"));
        ASSERT_NO_FATAL_FAILURE(StartProgram());
        e2e::SetControlText(dialog_, IDC_IP_ADDRESS, c.typed);
        if (c.close_box) {
            PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            e2e::Click(dialog_, IDC_EXIT);
        }
        EXPECT_EQ(program_->WaitForExit(), std::optional<DWORD>(24));
        program_.reset();
        const auto value = ReadCacheEntry("UltimaIP");
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->type, static_cast<DWORD>(REG_SZ));
        std::string stored = c.saved;
        stored.resize(18, '\0');
        EXPECT_EQ(value->bytes, stored);
    }
    // The empty text left by the last empty case reads as "nothing remembered".
    ASSERT_TRUE(PutCacheEntry("UltimaIP", ""));
    ASSERT_NO_FATAL_FAILURE(StartProgram());
    EXPECT_EQ(Text(IDC_IP_ADDRESS), "192.168.100.1");
    EXPECT_EQ(Text(IDC_CHECK_IP), "192.168.100.1");
    EXPECT_EQ(Text(IDC_MAC_ADDRESS), kZeroMac);
}

// Start-up time, from process start to the main dialog on the screen, median of ten;
// run by hand with --gtest_also_run_disabled_tests.
TEST_F(GetMacAndStartFill, DISABLED_StartUpTime) {
    const HostUndo undo("ip neigh del 10.77.0.9 dev \"$TARVEX_PROG_IF\"; true");
    Host("ip neigh replace 10.77.0.9 lladdr 02:00:00:00:00:09 nud permanent dev \"$TARVEX_PROG_IF\"");
    for (const char* remembered : {"", "10.77.0.9"}) {
        std::vector<DWORD> times;
        for (int i = 0; i < 10; ++i) {
            DeleteCache();
            if (*remembered) {
                ASSERT_TRUE(PutCacheEntry("UltimaIP", remembered));
            }
            const DWORD start = GetTickCount();
            ASSERT_NO_FATAL_FAILURE(StartProgram());
            times.push_back(GetTickCount() - start);
            if (*remembered) {
                EXPECT_EQ(Text(IDC_MAC_ADDRESS), "02-00-00-00-00-09");
            }
            program_.reset();
        }
        std::sort(times.begin(), times.end());
        std::printf("start-up with %s: median %lu ms (min %lu, max %lu)\n",
                    *remembered ? "a remembered IP from the ARP table" : "an empty cache",
                    static_cast<unsigned long>((times[4] + times[5]) / 2), static_cast<unsigned long>(times[0]),
                    static_cast<unsigned long>(times[9]));
    }
}

}  // namespace
