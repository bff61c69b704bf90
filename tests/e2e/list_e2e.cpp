// A list of PCs woken and watched from the command line (/list) as a script meets it: the
// program started with a list file and its output on a pipe, judged by the lines it
// prints, the report it writes, its exit code and how long it takes, against PCs that
// answer pings, that answer on a TCP port only, that wake late, and that never answer.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/handles-win32.h"
#include "tests/e2e/cache_entries.h"
#include "tests/e2e/driver.h"
#include "tests/e2e/figures.h"
#include "tests/e2e/wire.h"

namespace {

using e2e::NowMs;

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
    std::vector<std::string> parts;
    size_t at = 0;
    for (size_t end; (end = text.find(separator, at)) != std::string::npos; at = end + separator.size()) {
        parts.push_back(text.substr(at, end - at));
    }
    if (at < text.size()) parts.push_back(text.substr(at));
    return parts;
}

// A file in the run's private directory, as the program names it (Z:\...); deleted
// when the object goes.
class RunFile {
public:
    explicit RunFile(const std::string& prefix) : path_(e2e::WindowsPath(e2e::UniqueHostPath(prefix))) {}
    ~RunFile() { DeleteFileA(path_.c_str()); }
    RunFile(const RunFile&) = delete;
    RunFile& operator=(const RunFile&) = delete;

    const std::string& path() const { return path_; }

    bool Write(const std::string& bytes) const { return e2e::WriteWholeFile(path_, bytes); }
    std::optional<std::string> Read() const { return e2e::ReadWholeFile(path_); }

private:
    std::string path_;
};

// The number before " s" in "... after 5 s (echo)" or "... in 5 s.", after `marker`; -1 when absent.
int SecondsAfter(const std::string& line, const std::string& marker) {
    const size_t at = line.find(marker);
    return at == std::string::npos ? -1 : std::atoi(line.c_str() + at + marker.size());
}

// "0.3": seconds with one decimal, as the report writes them.
bool IsOneDecimal(const std::string& text) {
    const size_t dot = text.find('.');
    return dot != std::string::npos && dot > 0 && dot + 2 == text.size() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

// Four PCs and a bad line: the peer (answers pings), a peer on the second LAN behind a
// desktop firewall that shares files (no pings; connections on 445 complete), an address
// nobody holds, and a line with two MACs. Both peers are up before their packets, which
// is said as soon as their watches see them; the silent PC when the watch ends, ten
// seconds after the last send, too soon for a sweep of its LAN (which a line says); the
// report lists the PCs in list order.
TEST(ListE2e, ReportsEachPcAsItsVerdictIsKnownAndInTheReportAndEndsWithOneForTheSilentOne) {
    const auto firewall = e2e::FirewalledPeer(445, e2e::Side::kSecondLan);
    ASSERT_TRUE(firewall->applied()) << firewall->output();
    const RunFile list("tvx-list"), report("tvx-report");
    ASSERT_TRUE(list.Write("# PCs of the test network\r\n"
                           "10.77.0.2,02:77:00:00:00:02,peer\r\n"
                           "\"firewalled peer\";02-78-00-00-00-02;10.78.0.2\r\n"
                           "10.77.0.3 027700000003 silent\r\n"
                           "10.77.0.9,02:77:00:00:00:09,02:77:00:00:00:0a\r\n"));

    const double start = NowMs();
    const e2e::CommandRun run =
        e2e::RunProgramWithArguments("/list " + list.path() + " /wait /report " + report.path() + " /timeout 10", 40000);
    const double seconds = (NowMs() - start) / 1000;
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(1));
    EXPECT_GE(seconds, 10);
    EXPECT_LE(seconds, 12);

    std::vector<std::string> lines = Split(run.output, "\r\n");
    const auto skipped = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
        return line.rfind("Line ", 0) == 0;
    });
    ASSERT_NE(skipped, lines.end()) << run.output;
    EXPECT_EQ(skipped->rfind("Line 5 skipped: ", 0), 0u) << *skipped;
    lines.erase(skipped);
    ASSERT_EQ(lines.size(), 5u) << run.output;
    std::sort(lines.begin(), lines.begin() + 2);  // the two answers come in either order
    EXPECT_EQ(lines[0], "10.77.0.2 02-77-00-00-00-02 peer was already on");
    EXPECT_EQ(lines[1], "10.78.0.2 02-78-00-00-00-02 firewalled peer was already on");
    EXPECT_EQ(lines[2], "10.77.0.3 02-77-00-00-00-03 silent no answer");
    EXPECT_EQ(lines[3], "No sweep for a new address: /timeout leaves no room for it (it needs at least 64 s).");
    EXPECT_EQ(lines[4], "2 of 3 PCs answered in 10 s.");

    const std::optional<std::string> csv = report.Read();
    ASSERT_TRUE(csv) << "no report";
    const std::vector<std::string> rows = Split(*csv, "\r\n");
    EXPECT_EQ(csv->substr(csv->size() - 2), "\r\n");
    ASSERT_EQ(rows.size(), 5u) << *csv;
    EXPECT_EQ(rows[0], "\xEF\xBB\xBFip,mac,label,verdict,seconds,answered_by,note");
    const std::vector<std::string> expected[] = {
        {"10.77.0.2", "02-77-00-00-00-02", "peer", "already-on", "", "", ""},
        {"10.78.0.2", "02-78-00-00-00-02", "firewalled peer", "already-on", "", "", ""},
        {"10.77.0.3", "02-77-00-00-00-03", "silent", "no-answer", "", "", ""},
    };
    const std::vector<std::string> bad_line = Split(rows[4] + ",", ",");
    ASSERT_EQ(bad_line.size(), 7u) << rows[4];
    EXPECT_EQ(bad_line[3] + " " + bad_line[6], "skipped two MACs");
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(rows[i + 1]);
        std::vector<std::string> fields = Split(rows[i + 1] + ",", ",");
        fields.resize(7);
        if (expected[i][3] == "answered") {
            EXPECT_TRUE(IsOneDecimal(fields[4]));
            EXPECT_LT(std::atof(fields[4].c_str()), 1.0);
            fields[4].clear();
        }
        EXPECT_EQ(fields, expected[i]);
    }
}

// The report can never take the place of the list it reads, whatever the spelling, nor
// of a directory; a report that cannot be written says so and ends the run with 6.
TEST(ListE2e, TheReportNeverReplacesTheListNorADirectory) {
    const RunFile list("tvx-list");
    const std::string pcs = "10.77.0.2,02:77:00:00:00:02,peer\r\n";
    ASSERT_TRUE(list.Write(pcs));
    const size_t slash = list.path().rfind('\\');
    const std::string other_spelling = list.path().substr(0, slash) + "\\.\\" + list.path().substr(slash + 1) + ".";
    e2e::CommandRun run = e2e::RunProgramWithArguments("/list " + list.path() + " /report " + other_spelling, 20000);
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(2));
    EXPECT_EQ(run.output, "/report would overwrite the list: " + other_spelling + "\r\n");
    EXPECT_EQ(list.Read(), std::optional<std::string>(pcs));

    const std::string directory = e2e::WindowsPath(e2e::UniqueHostPath("tvx-report-dir"));
    ASSERT_TRUE(CreateDirectoryA(directory.c_str(), nullptr));
    run = e2e::RunProgramWithArguments("/list " + list.path() + " /report " + directory, 20000);
    RemoveDirectoryA(directory.c_str());  // fails, and the test with it, if anything was left inside
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(6));
    EXPECT_EQ(run.output, "10.77.0.2 02-77-00-00-00-02 peer sent\r\nCould not write the report " + directory +
                              ": it is a directory\r\n");
    EXPECT_EQ(GetFileAttributesA(directory.c_str()), INVALID_FILE_ATTRIBUTES);
    WIN32_FIND_DATAA found{};
    const UniqueFind left(FindFirstFileA((directory + ".~*").c_str(), &found));
    EXPECT_FALSE(left) << found.cFileName;
}

// A PC that never answers is given up when /timeout says, not when the default 90 s do.
TEST(ListE2e, TimeoutCutsTheWatchShort) {
    const RunFile list("tvx-list");
    ASSERT_TRUE(list.Write("10.77.0.3,02:77:00:00:00:03,pc3\n"));
    const double start = NowMs();
    const e2e::CommandRun run = e2e::RunProgramWithArguments("/list " + list.path() + " /wait /timeout 3", 30000);
    const double seconds = (NowMs() - start) / 1000;
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(1));
    EXPECT_EQ(run.output,
              "10.77.0.3 02-77-00-00-00-03 pc3 no answer\r\n"
              "No sweep for a new address: /timeout leaves no room for it (it needs at least 64 s).\r\n"
              "0 of 1 PC answered in 3 s.\r\n");
    EXPECT_GE(seconds, 3);
    EXPECT_LE(seconds, 5);
}

// A PC that wakes 5 s after its magic packet is reported within a probe's attempt of
// that, long before the watch's end, by a list and by a single wake alike; it heard the
// program's packet, from the program's address.
TEST(ListE2e, ASleepingPcIsReportedSoonAfterItWakes) {
    const RunFile list("tvx-list");
    ASSERT_TRUE(list.Write("10.77.0.50,02:77:00:00:01:50,sleeper\n"));
    const struct {
        std::string arguments;
        DWORD exit_code;
        const char* first_line;  // up to the seconds, for the list
    } cases[] = {
        {"/list " + list.path() + " /wait /timeout 30", 0, "10.77.0.50 02-77-00-00-01-50 sleeper answered after "},
        {"/wake 02-77-00-00-01-50 /ip 10.77.0.50 /wait /timeout 30", 0, "The PC has been turned on."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const e2e::SleepingPeer sleeper("10.77.0.50", "02:77:00:00:01:50", 5);
        ASSERT_TRUE(sleeper.started()) << sleeper.output();
        const double start = NowMs();
        const e2e::CommandRun run = e2e::RunProgramWithArguments(c.arguments, 40000);
        const double seconds = (NowMs() - start) / 1000;
        EXPECT_EQ(run.exit_code, std::optional<DWORD>(c.exit_code));
        const std::vector<std::string> lines = Split(run.output, "\r\n");
        ASSERT_FALSE(lines.empty()) << run.output;
        EXPECT_EQ(lines[0].rfind(c.first_line, 0), 0u) << run.output;
        if (lines.size() > 1) {  // the list's: "... after N s (echo)", then its summary
            ASSERT_EQ(lines.size(), 2u) << run.output;
            const int after = SecondsAfter(lines[0], " answered after ");
            EXPECT_GE(after, 5);
            EXPECT_LE(after, 7);
            EXPECT_EQ(lines[0].substr(lines[0].find(" s (")), " s (echo)");
            EXPECT_EQ(lines[1].rfind("1 of 1 PC answered in ", 0), 0u) << lines[1];
        }
        EXPECT_GE(seconds, 5);
        EXPECT_LE(seconds, 8.5);
        const std::vector<std::string> heard = sleeper.HeardFrom();
        EXPECT_FALSE(heard.empty());
        for (const std::string& source : heard) EXPECT_EQ(source, "10.77.0.1");
        EXPECT_TRUE(sleeper.Awake());
        std::printf("  %s: %.1f s, %s\n", c.arguments.substr(0, 5).c_str(), seconds, lines[0].c_str());
    }
}

// Two LANs, a silent address on each, and a PC listed at an address of the second LAN
// that wakes up at another address there. Both LANs are swept 60 s after the sends, at
// once, sharing the engine's places (about 7 s for the two), which /timeout 70 leaves
// room for: the second LAN's sweep finds the woken MAC at its new address, which is
// said, reported and remembered; the silent PCs are said at the end.
TEST(ListE2e, APcWokenAtANewAddressOfTheSecondLanIsFoundThere) {
    const e2e::SleepingPeer sleeper("10.78.0.60", "02:78:00:00:01:60", 2, e2e::Side::kSecondLan);
    ASSERT_TRUE(sleeper.started()) << sleeper.output();
    const RunFile list("tvx-list"), report("tvx-report");
    ASSERT_TRUE(list.Write("10.77.0.3,02:77:00:00:00:03,silent\r\n"
                           "10.78.0.3,02:78:00:00:00:03,silent too\r\n"
                           "10.78.0.61,02:78:00:00:01:60,moved\r\n"));
    const double start = NowMs();
    double moved_at = 0;
    const e2e::CommandRun run = e2e::RunProgramWithArguments(
        "/list " + list.path() + " /wait /timeout 70 /report " + report.path(), 90000,
        [&](DWORD, const std::string& output) {
            if (moved_at == 0 && output.find(" moved ") != std::string::npos) moved_at = NowMs() - start;
        });
    const double seconds = (NowMs() - start) / 1000;
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(1));
    EXPECT_GE(seconds, 70);
    EXPECT_LE(seconds, 75);
    // Found by the sweep, not before it.
    EXPECT_GE(moved_at / 1000, 60);
    EXPECT_LT(moved_at / 1000, 70);

    std::vector<std::string> lines = Split(run.output, "\r\n");
    ASSERT_EQ(lines.size(), 4u) << run.output;
    EXPECT_EQ(lines[0], "10.78.0.61 02-78-00-00-01-60 moved turned on at 10.78.0.60");
    std::sort(lines.begin() + 1, lines.begin() + 3);  // the silent ones end together
    EXPECT_EQ(lines[1], "10.77.0.3 02-77-00-00-00-03 silent no answer");
    EXPECT_EQ(lines[2], "10.78.0.3 02-78-00-00-00-03 silent too no answer");
    EXPECT_EQ(lines[3], "1 of 3 PCs answered in 70 s.");

    const std::optional<std::string> csv = report.Read();
    ASSERT_TRUE(csv) << "no report";
    EXPECT_NE(csv->find("\r\n10.78.0.61,02-78-00-00-01-60,moved,new-address,,,\r\n"), std::string::npos) << *csv;
    EXPECT_TRUE(sleeper.Awake());
    const auto remembered = e2e::ReadCacheEntry("10.78.0.60");
    ASSERT_TRUE(remembered.has_value());
    EXPECT_EQ(remembered->bytes, std::string("02-78-00-00-01-60") + '\0');
    for (const char* ip : {"10.77.0.3", "10.78.0.3", "10.78.0.61", "10.78.0.60"}) e2e::DeleteCacheEntry(ip);
}

// ---- figures, on request: TARVEX_BENCH=1 and TARVEX_PC_LIST=240 (scripts/bench-wine.sh) --------

// The most sockets open at once in the program's namespace (TCP, UDP and raw, its IP
// helper's included; a TIME-WAIT one is closed already), as the Linux kernel lists them
// every 50 ms from start to end of the object.
class SocketSampler {
public:
    SocketSampler()
        : base_(e2e::UniqueHostPath("tvx-sockets")),
          running_("f=" + base_ + "\n(while :; do ss -Htuwan | grep -vc TIME-WAIT; sleep 0.05; done) >$f.txt 2>&1 &\n"
                   "echo $! >$f.pid",
                   "f=" + base_ + "\nkill $(cat $f.pid) 2>/dev/null; rm -f $f.txt $f.pid; true") {}

    bool started() const { return running_.applied(); }

    /// The highest count so far and the number of samples; -1 when they cannot be read.
    std::pair<int, int> Peak() const {
        const auto peak = e2e::RunOnHost("sort -n " + base_ + ".txt | tail -n 1; wc -l <" + base_ + ".txt");
        if (!peak || peak->exit_code != 0) return {-1, -1};
        const size_t newline = peak->output.find('\n');
        return {std::atoi(peak->output.c_str()), std::atoi(peak->output.c_str() + newline + 1)};
    }

private:
    std::string base_;
    e2e::HostChange running_;
};

std::string ListFileOfTheRun() {
    char name[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableA("TARVEX_PC_LIST_FILE", name, sizeof name);
    return length > 0 && length < sizeof name ? e2e::WindowsPath(name) : std::string();
}

// The verdict each PC of the run's list (scripts/testnet.sh) gets: every eighth address
// is held by nobody; the peer holds the others, which answer before their packet. They
// are not on a LAN of this PC (10.77.1.0/24 is only routed to the peer's veth), so the
// watch judges no ARP row there, and the peer's one MAC at all of them is no other
// device: "already on". Lines "10.77.1.x 02-77-01-00-00-XX pc-x ...", sorted, and the
// report's rows "10.77.1.x,02-77-01-00-00-XX,pc-x,<verdict>,,,", in list order.
void ExpectedVerdicts(int pcs, std::vector<std::string>& lines, std::vector<std::string>& rows) {
    for (int x = 1; x <= pcs; ++x) {
        char pc[64];
        std::snprintf(pc, sizeof pc, "10.77.1.%d 02-77-01-00-00-%02X pc-%d", x, static_cast<unsigned>(x), x);
        const bool held = x % 8 != 0;
        lines.push_back(std::string(pc) + (held ? " was already on" : " no answer"));
        std::string row = pc;
        std::replace(row.begin(), row.end(), ' ', ',');
        rows.push_back(row + (held ? ",already-on,,," : ",no-answer,,,"));
    }
    std::sort(lines.begin(), lines.end());
}

// 240 PCs of which 210 answer pings (extra addresses of the peer) and 30 are held by
// nobody, woken and watched at once: every PC gets its verdict (ExpectedVerdicts) and
// the summary comes from start (Wine already warm) within /timeout + 2 s, at most
// 4 threads of the program at any time, and its handles, sampled every 50 ms, do not
// pile up while the silent PCs are probed again and again.
TEST(BenchList, FromStartToSummaryOver240PcsWithFewThreadsAndNoHandlesLeft) {
    if (!e2e::BenchRequested()) GTEST_SKIP() << "set TARVEX_BENCH=1 to run";
    const std::string list = ListFileOfTheRun();
    ASSERT_FALSE(list.empty()) << "no list of PCs: run with TARVEX_PC_LIST=240, as scripts/bench-wine.sh does";
    const RunFile report("tvx-report");
    const SocketSampler sockets;
    ASSERT_TRUE(sockets.started());
    struct Sample {
        double ms;
        size_t lines;
        e2e::ProcessCounts counts;
    };
    std::vector<Sample> samples;
    // Wine's first start of a program in a fresh prefix costs seconds that a Windows PC
    // never pays; one run before the timed one takes them.
    e2e::RunProgramWithArguments("/check 127.0.0.1");
    const double start = NowMs();
    double summary_ms = 0, last_ms = -1000, first_verdict_ms = 0;
    const auto watch = [&](DWORD pid, const std::string& output) {
        const double now = NowMs();
        if (summary_ms > 0 || now - last_ms < 50) return;
        last_ms = now;
        const size_t lines = static_cast<size_t>(std::count(output.begin(), output.end(), '\n'));
        // The verdicts are said once the watch starts, after the last send.
        if (first_verdict_ms == 0 && lines > 0) first_verdict_ms = now - start;
        samples.push_back({now - start, lines, e2e::CountsOf(pid)});
        if (output.find(" PCs answered in ") != std::string::npos) summary_ms = now - start;
    };
    const e2e::CommandRun run = e2e::RunProgramWithArguments(
        "/list " + list + " /wait /timeout 20 /report " + report.path(), 60000, watch);
    const double exit_ms = NowMs() - start;
    // A summary written just before the exit is read after it, within a 10 ms wait.
    if (summary_ms == 0 && run.output.find(" PCs answered in ") != std::string::npos) summary_ms = exit_ms;
    const auto [peak_sockets, socket_samples] = sockets.Peak();

    const std::vector<std::string> lines = Split(run.output, "\r\n");
    ASSERT_FALSE(lines.empty());
    std::printf("  240 PCs: %s (exit %lu); first verdict seen after %.1f s (the sends are done by then), summary "
                "after %.1f s, exit after %.1f s\n",
                lines.back().c_str(), static_cast<unsigned long>(run.exit_code.value_or(~0ul)), first_verdict_ms / 1000,
                summary_ms / 1000, exit_ms / 1000);
    int peak_threads = 0, peak_handles = 0;
    double next_print = 0;
    for (const Sample& s : samples) {
        peak_threads = std::max(peak_threads, s.counts.threads);
        peak_handles = std::max(peak_handles, s.counts.handles);
        if (s.ms < next_print) continue;
        next_print = s.ms + 2000;
        std::printf("    %5.1f s: %3zu lines out, threads %d, handles %d\n", s.ms / 1000, s.lines, s.counts.threads,
                    s.counts.handles);
    }
    // The last stretch: the answers are all out and only the silent PCs are probed, attempt
    // after attempt. A handle left behind by each attempt would pile up over it.
    ASSERT_GE(samples.size(), 3u);
    const Sample& last = samples[samples.size() - 2];  // the final one may have caught the exit
    size_t stretch = samples.size() - 2;
    while (stretch > 0 && samples[stretch - 1].lines == last.lines) --stretch;
    const size_t middle = (stretch + samples.size() - 2) / 2;
    int first_half = 0, second_half = 0;
    for (size_t i = stretch; i + 1 < samples.size(); ++i) {
        int& half = i < middle ? first_half : second_half;
        half = std::max(half, samples[i].counts.handles);
    }
    std::printf("  threads at most %d; handles %d at the start, %d at most, %d at the end; over the last %.1f s "
                "(silent PCs only) at most %d, then %d; sockets at most %d (%d samples)\n",
                peak_threads, samples.front().counts.handles, peak_handles, last.counts.handles,
                (last.ms - samples[stretch].ms) / 1000, first_half, second_half, peak_sockets, socket_samples);
    EXPECT_EQ(run.exit_code, std::optional<DWORD>(1));
    std::vector<std::string> expected_lines, expected_rows;
    ExpectedVerdicts(240, expected_lines, expected_rows);
    ASSERT_EQ(lines.size(), 241u);
    std::vector<std::string> verdicts(lines.begin(), lines.end() - 1), unexpected;
    std::sort(verdicts.begin(), verdicts.end());
    std::set_difference(verdicts.begin(), verdicts.end(), expected_lines.begin(), expected_lines.end(),
                        std::back_inserter(unexpected));
    EXPECT_TRUE(unexpected.empty()) << unexpected.size() << " PCs not as expected, the first: " << unexpected[0];
    EXPECT_EQ(lines.back().rfind("210 of 240 PCs answered in ", 0), 0u);
    // The summary comes after every PC's verdict.
    EXPECT_GT(summary_ms, 0);
    EXPECT_LE(summary_ms, 22000);
    EXPECT_LE(peak_threads, 4);
    EXPECT_GE(last.ms - samples[stretch].ms, 8000) << "no stretch with only the silent PCs probed";
    EXPECT_LE(second_half, first_half + 30);
    const std::optional<std::string> csv = report.Read();
    ASSERT_TRUE(csv) << "no report";
    std::vector<std::string> rows = Split(*csv, "\r\n");
    ASSERT_EQ(rows.size(), 241u);
    rows.erase(rows.begin());
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i] == expected_rows[i]) continue;
        ADD_FAILURE() << "the report's row " << i + 1 << ": " << rows[i] << ", not " << expected_rows[i]
                      << " (the first that differs)";
        break;
    }
}

}  // namespace
