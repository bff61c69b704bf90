#include "app/list_command.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <utility>
#include <optional>
#include <vector>

#include "tests/support/spreadsheet_cells.h"

namespace {

using Lines = std::vector<std::string>;
using Told = std::vector<std::pair<std::size_t, WakeSighting>>;

WakeSighting Answered(AnswerKind how, std::uint16_t port, std::int64_t at_ms) {
    WakeSighting seen;
    seen.answered = true;
    seen.how = how;
    seen.port = port;
    seen.answered_ms = at_ms;
    return seen;
}

WakeSighting Silent() { return WakeSighting{}; }

// A watch whose sweep was skipped for want of time: it needed `needs_s`.
WakeSighting Skipped(WakeSighting seen, int needs_s) {
    seen.sweep_needs_s = needs_s;
    return seen;
}

// The PC found at 192.168.1.77, whose pair could not be remembered there.
WakeSighting MovedNotRemembered(const std::string& mac) {
    WakeSighting seen;
    seen.new_address = Ipv4Bytes{192, 168, 1, 77};
    seen.not_remembered = {{"192.168.1.77", mac, "Access is denied (5)"}};
    return seen;
}

// A header, a PC with everything, one without an IP, one without a label.
constexpr char kList[] =
    "Name,MAC,IP\r\n"
    "Reception,00-1A-2B-3C-4D-5E,192.168.1.20\r\n"
    "\"Printer room\",00:1a:2b:3c:4d:60\r\n"
    ",001A2B3C4D61,192.168.1.22\r\n";
// What /list says first of kList: its header.
const std::string kListHeaderSaid = "Line 1 read as the header: Name MAC IP";
const std::string kMac1 = "00-1A-2B-3C-4D-5E", kMac2 = "00-1A-2B-3C-4D-60", kMac3 = "00-1A-2B-3C-4D-61";

// This computer as /list sees it; the clock moves only when a send, a pause or the
// watch takes time.
struct FakeList final : ListSystem, WakeActions {
    std::map<std::string, std::string> files{{"pcs.csv", kList}};
    std::map<std::string, std::string> known_macs;
    std::set<std::string> failing_macs;
    bool cache_works = true;
    int pauses_allowed = -1;  // Pause says "cut short" once this many have passed; -1: never
    std::int64_t clock = 1000;
    std::int64_t send_ms = 100;
    Told told;                 // what the watch reports, in this order
    std::int64_t watch_ms = 12000;
    bool report_fails = false;
    std::set<std::pair<std::string, std::string>> same_files;  // names that open one file, besides equal ones
    std::map<std::string, std::string> written;
    Lines log;

    bool ReadListFile(const std::string& path, std::string& bytes, std::string& error) override {
        const auto file = files.find(path);
        if (file == files.end()) {
            error = "The system cannot find the file specified. (2)";
            return false;
        }
        bytes = file->second;
        return true;
    }
    std::string FindMacWithoutRequest(const std::string& ip) override {
        log.push_back("find " + ip);
        return known_macs[ip];
    }
    WakeActions& Wake() override { return *this; }
    bool Pause(int ms) override {
        log.push_back("pause " + std::to_string(ms));
        if (pauses_allowed == 0) return false;
        if (pauses_allowed > 0) --pauses_allowed;
        clock += ms;
        return true;
    }
    std::int64_t NowMs() override { return clock; }
    std::optional<Ipv4Bytes> ResolveHost(const std::string& name) override {
        log.push_back("resolve " + name);
        if (name == "far-pc") return Ipv4Bytes{10, 80, 0, 2};
        return std::nullopt;
    }
    void WatchAll(const std::vector<WatchTarget>& targets, std::int64_t end_ms, const WatchVerdict& verdict) override {
        std::string line = "watch";
        for (const WatchTarget& t : targets) line += " " + t.ip + "@" + std::to_string(t.sent_ms);
        log.push_back(line + " until " + std::to_string(end_ms));
        for (const auto& [index, seen] : told) verdict(index, seen);
        clock += watch_ms;
    }
    bool IsSameFile(const std::string& a, const std::string& b) override {
        return (a == b && files.count(a)) || same_files.count({a, b}) || same_files.count({b, a});
    }
    bool WriteReportFile(const std::string& path, const std::string& text, std::string& error) override {
        if (report_fails) {
            error = "Access is denied. (5)";
            return false;
        }
        written[path] = text;
        return true;
    }
    bool WriteCache(const std::string& name, const std::string& text, std::string&) override {
        log.push_back("cache " + name + "=" + text);
        return cache_works;
    }
    bool SendMagicPacket(const std::string& mac, int port, const std::string& password, const std::string&,
                         const std::vector<WireEndpoint>& also_to) override {
        std::string line = "send " + mac + " " + std::to_string(port) + " [" + password + "]";
        for (const WireEndpoint& to : also_to) line += " +" + std::to_string(to.address[3]) + ":" +
                                                        std::to_string(to.port[0] * 256 + to.port[1]);
        log.push_back(line);
        clock += send_ms;
        return failing_macs.count(mac) == 0;
    }
    void ProbeBeforeSend(const std::string& ip, const std::string&) override { log.push_back("probe " + ip); }
    void StartWatcher(const std::string& ip, const std::string&, const std::optional<PairNotRemembered>&) override {
        log.push_back("watcher " + ip);
    }

    int Run(const std::vector<std::string>& arguments, Lines& lines) {
        const CommandRequest request = ParseCommandLine(arguments);
        EXPECT_EQ(request.kind, CommandKind::kList) << request.error;
        return RunList(request, *this, [&lines](const std::string& line) { lines.push_back(line); });
    }
};

TEST(ListCommand, SendsAsWakeDoesInListOrderWithTheDelayBetweenUntilACut) {
    const struct {
        std::vector<std::string> args;
        int pauses_allowed;
        Lines log;
    } cases[] = {
        {{"/list", "pcs.csv", "/password", "abc", "/delay", "2000"},
         -1,
         {"pause 0", "cache 192.168.1.20=" + kMac1, "send " + kMac1 + " 40000 [abc]", "pause 2000", "send " + kMac2 + " 40000 [abc]",
          "pause 2000", "cache 192.168.1.22=" + kMac3, "send " + kMac3 + " 40000 [abc]"}},
        // Without a delay the run is still asked whether it goes on.
        {{"/list", "pcs.csv"},
         -1,
         {"pause 0", "cache 192.168.1.20=" + kMac1, "send " + kMac1 + " 40000 []", "pause 0", "send " + kMac2 + " 40000 []",
          "pause 0", "cache 192.168.1.22=" + kMac3, "send " + kMac3 + " 40000 []"}},
        // Watched PCs are probed once before their packet; a PC without an IP is not.
        {{"/list", "pcs.csv", "/delay", "5", "/wait"},
         2,
         {"pause 0", "cache 192.168.1.20=" + kMac1, "probe 192.168.1.20", "send " + kMac1 + " 40000 []", "pause 5",
          "send " + kMac2 + " 40000 []", "pause 5"}},
        // Every PC's packet goes to every /to too; a name is resolved once, before the list.
        {{"/list", "pcs.csv", "/to", "far-pc:9", "/to", "10.80.0.255"},
         -1,
         {"resolve far-pc", "pause 0", "cache 192.168.1.20=" + kMac1, "send " + kMac1 + " 40000 [] +2:9 +255:40000", "pause 0",
          "send " + kMac2 + " 40000 [] +2:9 +255:40000", "pause 0", "cache 192.168.1.22=" + kMac3,
          "send " + kMac3 + " 40000 [] +2:9 +255:40000"}},
    };
    for (const auto& c : cases) {
        FakeList fake;
        fake.pauses_allowed = c.pauses_allowed;
        Lines lines;
        fake.Run(c.args, lines);
        EXPECT_EQ(fake.log, c.log) << c.args.size();
    }
}

TEST(ListCommand, WithoutWaitSaysEachSendAsItGoesAndCountsWhatWent) {
    const struct {
        std::set<std::string> failing;
        bool cache_works;
        int pauses_allowed;
        Lines lines;
        int exit_code;
    } cases[] = {
        {{}, true, -1,
         {"192.168.1.20 " + kMac1 + " Reception sent", kMac2 + " Printer room sent", "192.168.1.22 " + kMac3 + " sent"},
         0},
        {{kMac2}, true, -1,
         {"192.168.1.20 " + kMac1 + " Reception sent", kMac2 + " Printer room could not be sent",
          "192.168.1.22 " + kMac3 + " sent"},
         1},
        {{kMac1, kMac2, kMac3}, true, -1,
         {"192.168.1.20 " + kMac1 + " Reception could not be sent", kMac2 + " Printer room could not be sent",
          "192.168.1.22 " + kMac3 + " could not be sent"},
         3},
        // A pair that is not remembered is said; the send stands.
        {{}, false, -1,
         {"192.168.1.20 " + kMac1 + " Reception sent", "The MAC " + kMac1 + " could not be remembered for 192.168.1.20.",
          kMac2 + " Printer room sent", "192.168.1.22 " + kMac3 + " sent",
          "The MAC " + kMac3 + " could not be remembered for 192.168.1.22."},
         0},
        {{}, true, 1, {"192.168.1.20 " + kMac1 + " Reception sent", kMac2 + " Printer room not decided",
                       "192.168.1.22 " + kMac3 + " not decided"},
         1},
        {{kMac1}, true, 1, {"192.168.1.20 " + kMac1 + " Reception could not be sent", kMac2 + " Printer room not decided",
                            "192.168.1.22 " + kMac3 + " not decided"},
         3},
        // Ctrl-C while the list was read: nothing goes out.
        {{}, true, 0, {"192.168.1.20 " + kMac1 + " Reception not decided", kMac2 + " Printer room not decided",
                       "192.168.1.22 " + kMac3 + " not decided"},
         3},
    };
    for (const auto& c : cases) {
        FakeList fake;
        fake.failing_macs = c.failing;
        fake.cache_works = c.cache_works;
        fake.pauses_allowed = c.pauses_allowed;
        Lines lines;
        EXPECT_EQ(fake.Run({"/list", "pcs.csv"}, lines), c.exit_code) << c.lines[0];
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], kListHeaderSaid);
        EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), c.lines);
        EXPECT_EQ(fake.log.back().rfind("watch", 0), std::string::npos);
    }
}

TEST(ListCommand, WithWaitSaysEachVerdictAsItIsKnownThenSumsUp) {
    // Sends at 1100, 3200 and 5300 (100 ms each, 2 s apart); the watch lasts 12 s.
    const std::string watch_all = "watch 192.168.1.20@1100 192.168.1.22@5300 until 10300";
    const std::string not_watched = kMac2 + " Printer room sent, not watched";
    const std::string first = "192.168.1.20 " + kMac1 + " Reception ";
    const std::string third = "192.168.1.22 " + kMac3 + " ";
    const struct {
        std::set<std::string> failing;
        int pauses_allowed;
        Told told;
        std::string watch;  // what WatchAll was asked; empty: not called
        Lines lines;
        int exit_code;
    } cases[] = {
        {{}, -1, {{1, Answered(AnswerKind::kTcp, 3389, 8300)}, {0, Answered(AnswerKind::kEcho, 0, 13100)}}, watch_all,
         {not_watched, third + "answered after 3 s (tcp/3389)", first + "answered after 12 s (echo)",
          "2 of 2 PCs answered in 16 s."},
         0},
        {{}, -1, {{1, Answered(AnswerKind::kEcho, 0, 5300)}, {0, Silent()}}, watch_all,
         {not_watched, third + "answered after 0 s (echo)", first + "no answer", "1 of 2 PCs answered in 16 s."},
         1},
        // Cut short: what was not told is not decided; a second
        // verdict for a PC and one for no PC are not taken.
        {{}, -1,
         {{1, Answered(AnswerKind::kTcp, 22, 6800)}, {1, Silent()}, {7, Silent()}},
         watch_all,
         {not_watched, third + "answered after 2 s (tcp/22)", first + "not decided", "1 of 2 PCs answered in 16 s."},
         1},
        {{}, -1, {}, watch_all,
         {not_watched, first + "not decided", third + "not decided", "0 of 2 PCs answered in 16 s."},
         1},
        // A PC that could not be sent to is said with the ones not watched, and is not watched.
        {{kMac1, kMac2}, -1, {{0, Answered(AnswerKind::kEcho, 0, 6300)}},
         "watch 192.168.1.22@5300 until 10300",
         {first + "could not be sent", kMac2 + " Printer room could not be sent", third + "answered after 1 s (echo)",
          "1 of 1 PC answered in 16 s."},
         1},
        {{kMac1, kMac2, kMac3}, -1, {}, "",
         {first + "could not be sent", kMac2 + " Printer room could not be sent", third + "could not be sent",
          "0 of 0 PCs answered in 4 s."},
         3},
        // The watch runs /timeout from the last send, watched or not.
        {{kMac3}, -1, {{0, Answered(AnswerKind::kEcho, 0, 2100)}}, "watch 192.168.1.20@1100 until 10300",
         {not_watched, third + "could not be sent", first + "answered after 1 s (echo)", "1 of 1 PC answered in 16 s."},
         1},
        // A new address's pair that could not be remembered comes with its PC's line; a
        // sweep skipped for want of time is said once, with the most any PC needed, and
        // not for a PC that answered anyway.
        {{}, -1, {{1, MovedNotRemembered(kMac3)}, {0, Skipped(Silent(), 61)}}, watch_all,
         {not_watched, third + "turned on at 192.168.1.77",
          "The MAC " + kMac3 + " could not be remembered for 192.168.1.77. The registry said: Access is denied (5).",
          first + "no answer", "No sweep for a new address: /timeout leaves no room for it (it needs at least 61 s).",
          "1 of 2 PCs answered in 16 s."},
         1},
        {{}, -1, {{1, Skipped(Answered(AnswerKind::kEcho, 0, 6300), 70)}, {0, Skipped(Silent(), 61)}}, watch_all,
         {not_watched, third + "answered after 1 s (echo)", first + "no answer",
          "No sweep for a new address: /timeout leaves no room for it (it needs at least 61 s).",
          "1 of 2 PCs answered in 16 s."},
         1},
        {{}, -1, {{1, Skipped(Silent(), 64)}, {0, Skipped(Silent(), 61)}}, watch_all,
         {not_watched, third + "no answer", first + "no answer",
          "No sweep for a new address: /timeout leaves no room for it (it needs at least 64 s).",
          "0 of 2 PCs answered in 16 s."},
         1},
        // Cut during the second pause: nothing is watched.
        {{}, 2, {}, "", {not_watched, first + "not decided", third + "not decided", "0 of 1 PC answered in 2 s."}, 1},
    };
    for (const auto& c : cases) {
        FakeList fake;
        fake.failing_macs = c.failing;
        fake.pauses_allowed = c.pauses_allowed;
        fake.told = c.told;
        Lines lines;
        EXPECT_EQ(fake.Run({"/list", "pcs.csv", "/wait", "/timeout", "5", "/delay", "2000"}, lines), c.exit_code)
            << c.lines.back();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], kListHeaderSaid);
        EXPECT_EQ(Lines(lines.begin() + 1, lines.end()), c.lines);
        Lines watches;
        for (const std::string& entry : fake.log) {
            if (entry.rfind("watch", 0) == 0) watches.push_back(entry);
        }
        EXPECT_EQ(watches, c.watch.empty() ? Lines{} : Lines{c.watch}) << c.lines.back();
    }
}

// What each watch saw, as the list says it, in its report and in its exit code: seen on
// (already, or at a new address) counts as answered; another device at the address
// alone ends with 4, anything silent with 1.
TEST(ListCommand, SaysWhatEachWatchSawAsWakeDoes) {
    const MacBytes woken{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}, other{0x02, 0x00, 0x00, 0x00, 0x00, 0x09};
    WakeSighting already_on = Answered(AnswerKind::kEcho, 0, 1500);
    already_on.on_before = true;
    WakeSighting moved;
    moved.new_address = Ipv4Bytes{192, 168, 1, 77};
    WakeSighting another = Answered(AnswerKind::kEcho, 0, 1500);
    another.address = Ipv4Bytes{192, 168, 1, 22};
    another.mac_at_address = other;
    WakeSighting not_asked = Silent();
    not_asked.not_asked = true;
    for (WakeSighting* seen : {&already_on, &moved, &another, &not_asked}) seen->woken = woken;
    const std::string first = "192.168.1.20 " + kMac1 + " Reception ";
    const std::string third = "192.168.1.22 " + kMac3 + " ";
    const struct {
        Told told;
        std::string first_line, third_line, summary, tokens;
        int exit_code;
    } cases[] = {
        {{{0, already_on}, {1, moved}}, "was already on", "turned on at 192.168.1.77", "2 of 2 PCs", "already-on new-address",
         0},
        {{{0, already_on}, {1, another}}, "was already on", "another MAC (02-00-00-00-00-09) answers", "1 of 2 PCs",
         "already-on other-mac", 4},
        {{{0, Silent()}, {1, another}}, "no answer", "another MAC (02-00-00-00-00-09) answers", "0 of 2 PCs",
         "no-answer other-mac", 1},
        // Never asked: said with the PCs left undecided, after the verdicts.
        {{{0, already_on}, {1, not_asked}}, "was already on", "not decided", "1 of 2 PCs", "already-on not-decided", 1},
    };
    for (const auto& c : cases) {
        FakeList fake;
        fake.told = c.told;
        Lines lines;
        EXPECT_EQ(fake.Run({"/list", "pcs.csv", "/wait", "/report", "out.csv"}, lines), c.exit_code) << c.tokens;
        ASSERT_EQ(lines.size(), 5u);
        EXPECT_EQ(lines[0], kListHeaderSaid);
        EXPECT_EQ(lines[2], first + c.first_line);
        EXPECT_EQ(lines[3], third + c.third_line);
        EXPECT_EQ(lines[4].rfind(c.summary + " answered in ", 0), 0u) << lines[4];
        const std::string& csv = fake.written["out.csv"];
        const auto token = [&csv](const std::string& ip) {
            const std::size_t row = csv.find("\r\n" + ip + ",");
            std::size_t at = row;
            for (int field = 0; field < 3; ++field) at = csv.find(',', at + 1);
            return csv.substr(at + 1, csv.find(',', at + 1) - at - 1);
        };
        EXPECT_EQ(token("192.168.1.20") + " " + token("192.168.1.22"), c.tokens);
    }
}

const std::string kBom = "\xEF\xBB\xBF";
const std::string kReportHeader = kBom + "ip,mac,label,verdict,seconds,answered_by,note\r\n";

TEST(ListCommand, TheReportHasOneRowPerPcAndSkippedLineInLineOrderQuotedWhereNeeded) {
    const std::vector<PcEntry> pcs = {
        {2, "10.0.0.5", kMac1, "Desk 4", ""}, {3, "10.0.0.6", kMac2, "Bob \"the\" PC, upstairs", ""},
        {5, "", kMac3, "", "10.0.0.255 cannot be watched"}, {6, "10.0.0.8", kMac1, "x", ""},
        {7, "10.0.0.9", kMac1, "", ""},       {9, "10.0.0.10", kMac1, "y", ""},
    };
    const std::vector<PcResult> results = {
        {PcVerdict::kAnswered, 5249, AnswerKind::kEcho, 0, ""}, {PcVerdict::kAnswered, 59951, AnswerKind::kTcp, 445, ""},
        {PcVerdict::kNotWatched, 0, AnswerKind::kNone, 0, ""},  {PcVerdict::kNoAnswer, 0, AnswerKind::kNone, 0, ""},
        {PcVerdict::kNotDecided, 0, AnswerKind::kNone, 0, ""},  {PcVerdict::kNotSent, 0, AnswerKind::kNone, 0, ""},
    };
    const std::vector<PcListProblem> problems = {
        {1, "Line 1 read as the header: Name MAC IP", PcListProblemKind::kHeader, "", {}},
        {4, "Line 4 skipped: two MACs", PcListProblemKind::kSkipped, "two MACs", {4, "", kMac1, "Spare, old", ""}},
        {8, "Line 8 skipped: no MAC for 10.0.0.7", PcListProblemKind::kSkipped, "no MAC for 10.0.0.7",
         {8, "10.0.0.7", "", "", ""}},
        {12, "Line 12 skipped: no MAC or IP", PcListProblemKind::kSkipped, "no MAC or IP", {12, "", "", "=1+1", ""}},
    };
    EXPECT_EQ(FormatReportCsv(pcs, results, problems),
              kReportHeader +
                  "10.0.0.5,00-1A-2B-3C-4D-5E,Desk 4,answered,5.2,echo,\r\n"
                  "10.0.0.6,00-1A-2B-3C-4D-60,\"Bob \"\"the\"\" PC, upstairs\",answered,60.0,tcp/445,\r\n"
                  ",00-1A-2B-3C-4D-5E,\"Spare, old\",skipped,,,two MACs\r\n"
                  ",00-1A-2B-3C-4D-61,,not-watched,,,10.0.0.255 cannot be watched\r\n"
                  "10.0.0.8,00-1A-2B-3C-4D-5E,x,no-answer,,,\r\n"
                  "10.0.0.9,00-1A-2B-3C-4D-5E,,not-decided,,,\r\n"
                  "10.0.0.7,,,skipped,,,no MAC for 10.0.0.7\r\n"
                  "10.0.0.10,00-1A-2B-3C-4D-5E,y,not-sent,,,\r\n"
                  ",,\"'=1+1\",skipped,,,no MAC or IP\r\n");
}

TEST(ListCommand, TheReportShowsEveryLabelAsTextInASpreadsheet) {
    const std::string labels[] = {
        "=cmd|' /C calc'!A0", "+49 30 1234567", "-- spare --", "@reception", "\tTabbed", "\rReturn",
        "Plain", "a=b", "Ünïcödé, \"x\"", "line\nbreak", "=HYPERLINK(\"http://x\",\"y\")", "",
    };
    for (const std::string& label : labels) {
        const std::string csv = FormatReportCsv({{1, "10.0.0.5", kMac1, label, ""}},
                                                {{PcVerdict::kNoAnswer, 0, AnswerKind::kNone, 0, ""}}, {});
        EXPECT_EQ(csv.rfind(kBom, 0), 0u);
        const auto rows = SpreadsheetCells(csv);
        ASSERT_EQ(rows.size(), 2u) << label;
        ASSERT_EQ(rows[1].size(), 7u) << label;
        EXPECT_EQ(rows[1][2], label[0] == '\'' ? label.substr(1) : label) << csv;
    }
}

TEST(ListCommand, TheReportIsWrittenAtTheEndAfterACutTooAndAFailureEndsWithSix) {
    const struct {
        std::vector<std::string> args;
        Told told;
        bool fails;
        std::string report;  // empty: none written
        std::string last_line;
        int exit_code;
    } cases[] = {
        {{"/list", "pcs.csv", "/report", "out.csv"}, {}, false,
         kReportHeader + "192.168.1.20," + kMac1 + ",Reception,not-watched,,,\r\n," + kMac2 +
             ",Printer room,not-watched,,,\r\n" + "192.168.1.22," + kMac3 + ",,not-watched,,,\r\n",
         "192.168.1.22 " + kMac3 + " sent", 0},
        {{"/list", "pcs.csv", "/wait", "/report", "out.csv"}, {{0, Answered(AnswerKind::kEcho, 0, 2350)}}, false,
         kReportHeader + "192.168.1.20," + kMac1 + ",Reception,answered,1.3,echo,\r\n," + kMac2 +
             ",Printer room,not-watched,,,\r\n192.168.1.22," + kMac3 + ",,not-decided,,,\r\n",
         "1 of 2 PCs answered in 12 s.", 1},
        // A report that cannot be written wins over 0 and 1.
        {{"/list", "pcs.csv", "/report", "out.csv"}, {}, true, "",
         "Could not write the report out.csv: Access is denied. (5)", kExitReportFailed},
        {{"/list", "pcs.csv", "/wait", "/report", "out.csv"}, {}, true, "",
         "Could not write the report out.csv: Access is denied. (5)", kExitReportFailed},
    };
    for (const auto& c : cases) {
        FakeList fake;
        fake.told = c.told;
        fake.report_fails = c.fails;
        Lines lines;
        EXPECT_EQ(fake.Run(c.args, lines), c.exit_code) << c.last_line;
        EXPECT_EQ(lines.back(), c.last_line);
        EXPECT_EQ(fake.written.count("out.csv") ? fake.written["out.csv"] : "", c.report);
    }
}

// A skipped line is a PC that was not woken: its row is in the report and the run
// cannot end with 0 (nor 4).
TEST(ListCommand, ASkippedLineHasItsRowAndEndsWithOne) {
    FakeList fake;
    fake.files["pcs.csv"] = std::string(kList) + "Spare 10.0.0.9\r\n";
    Lines lines;
    EXPECT_EQ(fake.Run({"/list", "pcs.csv", "/report", "out.csv"}, lines), kExitNoAnswer);
    EXPECT_EQ(lines[1], "Line 5 skipped: no MAC for 10.0.0.9");
    const std::string& csv = fake.written["out.csv"];
    EXPECT_EQ(csv.substr(csv.rfind("\r\n", csv.size() - 3) + 2), "10.0.0.9,,Spare,skipped,,,no MAC for 10.0.0.9\r\n");
}

TEST(ListCommand, AReportNamingTheListsOwnFileIsRefusedBeforeAnySend) {
    const struct {
        std::string report;
        bool same;  // the system says the two names open one file
    } cases[] = {{".\\pcs.csv", true}, {"pcs.csv.", true}, {"pcs.csv::$DATA", true}, {"C:/lists/pcs.csv", true},
                 {"other.csv", false}};
    for (const auto& c : cases) {
        FakeList fake;
        if (c.same) fake.same_files.insert({c.report, "pcs.csv"});
        Lines lines;
        const int code = fake.Run({"/list", "pcs.csv", "/report", c.report}, lines);
        if (!c.same) {
            EXPECT_EQ(code, kExitDone);
            EXPECT_EQ(fake.written.count(c.report), 1u);
            continue;
        }
        EXPECT_EQ(code, kExitBadInput) << c.report;
        EXPECT_EQ(lines, Lines{"/report would overwrite the list: " + c.report});
        EXPECT_TRUE(fake.written.empty());
        for (const std::string& entry : fake.log) EXPECT_EQ(entry.rfind("send", 0), std::string::npos) << entry;
    }
}

TEST(ListCommand, AListThatNamesNoPcSendsNothingWritesNoReportAndEndsWithTwo) {
    std::string many_lines;
    for (std::size_t i = 0; i <= kPcListMostPcs; ++i) many_lines += "001a2b3c4d5e\n";
    const struct {
        std::string file;  // absent when empty
        Lines lines;
    } cases[] = {
        {"", {"Could not read the list list.txt: The system cannot find the file specified. (2)"}},
        {std::string(kPcListMostBytes + 1, '#'), {"The list list.txt is too large: more than 1 MB"}},
        {many_lines, {"The list list.txt is too large: more than 10000 PCs"}},
        {"Name\nLabel only\n10.0.0.5\n00-00-00-00-00-00\n",
         {"Line 1 read as the header: Name", "Line 2 skipped: no MAC or IP", "Line 3 skipped: no MAC for 10.0.0.5",
          "Line 4 skipped: 00-00-00-00-00-00 wakes no PC", "No PC to wake in the list list.txt"}},
    };
    for (const auto& c : cases) {
        FakeList fake;
        if (!c.file.empty()) fake.files["list.txt"] = c.file;
        Lines lines;
        EXPECT_EQ(fake.Run({"/list", "list.txt", "/wait", "/report", "out.csv"}, lines), kExitBadInput);
        EXPECT_EQ(lines, c.lines);
        for (const std::string& entry : fake.log) EXPECT_EQ(entry.rfind("find ", 0), 0u) << entry;
        EXPECT_TRUE(fake.written.empty());
    }
    // A /to that names nobody: said before the list is even read.
    FakeList fake;
    Lines lines;
    EXPECT_EQ(fake.Run({"/list", "pcs.csv", "/to", "far-pc", "/to", "nosuch-host:9", "/report", "out.csv"}, lines),
              kExitBadInput);
    EXPECT_EQ(lines, Lines{"Cannot resolve /to host: nosuch-host"});
    EXPECT_EQ(fake.log, (Lines{"resolve far-pc", "resolve nosuch-host"}));
    EXPECT_TRUE(fake.written.empty());
}

}  // namespace
