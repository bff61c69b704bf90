#include "app/pc_list.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

// A literal's bytes, NULs included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

// The list as lines, entries and problems in file order, so that a case states all of it.
std::vector<std::string> Describe(const PcList& list) {
    std::vector<std::string> lines;
    for (const PcEntry& e : list.entries) {
        lines.push_back(std::to_string(e.line) + ": ip[" + e.ip + "] mac[" + e.mac + "] label[" + e.label + "]" +
                        (e.note.empty() ? "" : " note[" + e.note + "]"));
    }
    for (const PcListProblem& p : list.problems) lines.push_back(std::to_string(p.line) + ": " + p.text);
    return lines;
}

// What the ARP table or the cache know, as FindMac answers: blanks and a colon form
// from the cache, a zero MAC a broken entry left.
std::string KnownMac(const std::string& ip) {
    const std::map<std::string, std::string> known = {
        {"10.0.0.6", "0a:1b:2c:3d:4e:5f"}, {"10.0.0.7", "00-00-00-00-00-00"}, {"10.0.0.8", " 00-1A-2B-3C-4D-5E\t"},
        {"10.0.0.9", "not a mac"},
    };
    const auto found = known.find(ip);
    return found == known.end() ? "" : found->second;
}

// The list as Describe says it, read with KnownMac; only an IP that can be watched is
// ever asked for.
std::vector<std::string> ReadAndDescribe(const std::string& file) {
    const PcList list = ReadPcList(file, [&file](const std::string& ip) {
        EXPECT_EQ(ip.rfind("10.0.0.", 0), 0u) << file << ": " << ip;
        return KnownMac(ip);
    });
    EXPECT_EQ(list.size, PcListSize::kFits) << file;
    return Describe(list);
}

const std::string kMac = "00-1A-2B-3C-4D-5E";

TEST(PcList, ReadsEachLineByTheShapesOfItsFieldsAndReportsEveryLineItSkips) {
    const std::string mac = "00-1A-2B-3C-4D-5E";
    struct Case {
        std::string file;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"00-1A-2B-3C-4D-5E,192.168.1.20,Reception", {"1: ip[192.168.1.20] mac[" + mac + "] label[Reception]"}},
        // Every separator, runs of them, and fields in any order.
        {"Front desk;00:1a:2b:3c:4d:5e\t192.168.1.20", {"1: ip[192.168.1.20] mac[" + mac + "] label[Front desk]"}},
        {"a,,; \t ;b\t\t001a2b3c4d5e,,", {"1: ip[] mac[" + mac + "] label[a b]"}},
        {"192.168.1.20 Reception 001A2B3C4D5E", {"1: ip[192.168.1.20] mac[" + mac + "] label[Reception]"}},
        // The MAC rule's any separator, and its 17 characters; 12 digits exactly.
        {"00.1a.2b.3c.4d.5e", {"1: ip[] mac[" + mac + "] label[]"}},
        {"x 00-1A-2B-3C-4D-5G 001a2b3c4d5 001a2b3c4d5e6 00-1A-2B-3C-4D-5E-6F 001a2b3c4d5e",
         {"1: ip[] mac[" + mac + "] label[x 00-1A-2B-3C-4D-5G 001a2b3c4d5 001a2b3c4d5e6 00-1A-2B-3C-4D-5E-6F]"}},
        // Quotes keep separators, "" is a quote.
        {"\"Reception, front desk\";\"00-1A-2B-3C-4D-5E\"",
         {"1: ip[] mac[" + mac + "] label[Reception, front desk]"}},
        {"001a2b3c4d5e \"Bob \"\"the\"\" PC\" \"\" \" \"", {"1: ip[] mac[" + mac + "] label[Bob \"the\" PC]"}},
        // A header is the first line that is not blank or a comment, and only when it
        // holds neither a MAC nor an IP; a line of separators is blank.
        {"Name,MAC,IP\r\nDesk,001a2b3c4d5e,10.0.0.1\r\n",
         {"2: ip[10.0.0.1] mac[" + mac + "] label[Desk]", "1: Line 1 read as the header: Name MAC IP"}},
        {"# office\n\n   # indented\n,;,\nName MAC\n001a2b3c4d5e\nLabel only\n",
         {"6: ip[] mac[" + mac + "] label[]", "5: Line 5 read as the header: Name MAC",
          "7: Line 7 skipped: no MAC or IP"}},
        {"001a2b3c4d5e\nName MAC", {"1: ip[] mac[" + mac + "] label[]", "2: Line 2 skipped: no MAC or IP"}},
        {"PC #1 001a2b3c4d5e", {"1: ip[] mac[" + mac + "] label[PC #1]"}},
        // Line numbers count every line end: "\r\n", "\n" and a lone "\r".
        {"#\r\n\n#\r001a2b3c4d5e", {"4: ip[] mac[" + mac + "] label[]"}},
        // Two of a kind; a MAC that wakes nobody.
        {"001a2b3c4d5e 00-1A-2B-3C-4D-5F", {"1: Line 1 skipped: two MACs"}},
        {"x\n10.0.0.1 10.0.0.2 001a2b3c4d5e", {"1: Line 1 read as the header: x", "2: Line 2 skipped: two IPs"}},
        {"00-00-00-00-00-00 10.0.0.1\n000000000000\n01-00-5E-00-00-01\nFF:FF:FF:FF:FF:FF\n00-1A-2B-3C-4D-5E",
         {"5: ip[] mac[" + mac + "] label[]", "1: Line 1 skipped: 00-00-00-00-00-00 wakes no PC",
          "2: Line 2 skipped: 00-00-00-00-00-00 wakes no PC", "3: Line 3 skipped: 01-00-5E-00-00-01 wakes no PC",
          "4: Line 4 skipped: FF-FF-FF-FF-FF-FF wakes no PC"}},
        // An IP alone: its MAC as found, read like a field; not found, or found useless.
        {"10.0.0.6 Printer\n10.0.0.8\n10.0.0.5\n10.0.0.7\n10.0.0.9",
         {"1: ip[10.0.0.6] mac[0A-1B-2C-3D-4E-5F] label[Printer]", "2: ip[10.0.0.8] mac[" + mac + "] label[]",
          "3: Line 3 skipped: no MAC for 10.0.0.5", "4: Line 4 skipped: no MAC for 10.0.0.7",
          "5: Line 5 skipped: no MAC for 10.0.0.9"}},
        // An IP is what both address rules accept, kept as written; four octets that
        // are not one are no label either (see NotesAnAddressThatCannotBeWatched).
        {"001a2b3c4d5e 192.168.1.010", {"1: ip[192.168.1.010] mac[" + mac + "] label[]"}},
        {"001a2b3c4d5e +1.2.3.4 1.2.3.4.5 1.2.3.256 nas",
         {"1: ip[] mac[" + mac + "] label[+1.2.3.4 1.2.3.4.5 1.2.3.256 nas]"}},
        // UTF-16 with its mark, as Notepad's "Unicode" writes it: labels come out UTF-8.
        {Bytes("\xFF\xFE" "B\0\xFC\0r\0o\0 \0" "0\0" "0\0" "1\0" "a\0" "2\0" "b\0" "3\0" "c\0" "4\0" "d\0" "5\0"
               "e\0\r\0\n\0"),
         {"1: ip[] mac[" + mac + "] label[B\xC3\xBCro]"}},
        {"", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> asked;
        const PcList list = ReadPcList(c.file, [&asked](const std::string& ip) {
            asked.push_back(ip);
            return KnownMac(ip);
        });
        EXPECT_EQ(list.size, PcListSize::kFits) << c.file;
        EXPECT_EQ(Describe(list), c.expected) << c.file;
        // Only a line with an IP and no MAC asks for one.
        for (const std::string& ip : asked) EXPECT_EQ(ip.rfind("10.0.0.", 0), 0u) << c.file << ": " << ip;
    }
}

// One table per rule of the list file, each case a file and what it reads as.
struct FileCase {
    std::string file;
    std::vector<std::string> expected;
};

TEST(PcList, AQuotedFieldSpansUpToFourLineBreaksAndAnOpenQuoteCostsOnlyItsLine) {
    const FileCase cases[] = {
        // Each line break is one space; the PC is on its first line, the next one counts on.
        {"\"Front\r\ndesk\rleft\";001a2b3c4d5e\r\n001a2b3c4d5f",
         {"1: ip[] mac[" + kMac + "] label[Front desk left]", "4: ip[] mac[00-1A-2B-3C-4D-5F] label[]"}},
        // Blank and '#' lines inside quotes are part of the field.
        {"\"a\n\n# b\n\nc\" 001a2b3c4d5e", {"1: ip[] mac[" + kMac + "] label[a  # b  c]"}},
        // Five breaks: the quote ends with its line, which is no header; the rest of
        // the field opens another quote, to the end of the file.
        {"\"a\n\n\n\n\nb\" 001a2b3c4d5e\n001a2b3c4d5f",
         {"7: ip[] mac[00-1A-2B-3C-4D-5F] label[]", "1: Line 1 skipped: a quote is not closed",
          "6: Line 6 skipped: a quote is not closed"}},
    };
    for (const FileCase& c : cases) EXPECT_EQ(ReadAndDescribe(c.file), c.expected) << c.file;
}

TEST(PcList, NotesAnAddressThatCannotBeWatchedInsteadOfTakingItForLabelText) {
    const std::string network = "cannot be watched: a network or broadcast address]";
    const FileCase cases[] = {
        {"001a2b3c4d5e 10.0.1.255 Desk\n10.0.1.0;001a2b3c4d5e\n127.0.0.1 001a2b3c4d5e",
         {"1: ip[] mac[" + kMac + "] label[Desk] note[10.0.1.255 " + network,
          "2: ip[] mac[" + kMac + "] label[] note[10.0.1.0 " + network,
          "3: ip[] mac[" + kMac + "] label[] note[127.0.0.1 cannot be watched: a loopback, multicast or reserved "
          "address]"}},
        // It is the line's IP: with another, two; without a MAC, nothing is asked and
        // the line is no header.
        {"10.0.1.255 Desk\n001a2b3c4d5e 10.0.1.255 10.0.0.6",
         {"1: Line 1 skipped: no MAC, and 10.0.1.255 is a network or broadcast address",
          "2: Line 2 skipped: two IPs"}},
    };
    for (const FileCase& c : cases) EXPECT_EQ(ReadAndDescribe(c.file), c.expected) << c.file;
}

TEST(PcList, TwelveDigitsAreAMacOnlyAsAFieldOfTheirOwn) {
    const FileCase cases[] = {
        // Commas, semicolons and tabs split; a MAC or IP word inside a field still counts.
        {"Reception 00-1A-2B-3C-4D-5E;192.168.1.20", {"1: ip[192.168.1.20] mac[" + kMac + "] label[Reception]"}},
        {"Call 123456789012;00-1A-2B-3C-4D-5E\t10.0.0.5", {"1: ip[10.0.0.5] mac[" + kMac + "] label[Call 123456789012]"}},
        {"  001a2b3c4d5e , Call  me", {"1: ip[] mac[" + kMac + "] label[Call me]"}},
        // A quoted word is a MAC only as the whole field; a quoted separator splits nothing.
        {"Desk \"00-1A-2B-3C-4D-5F\";001a2b3c4d5e", {"1: ip[] mac[" + kMac + "] label[Desk 00-1A-2B-3C-4D-5F]"}},
        {"\"Front desk, left\" 001a2b3c4d5e", {"1: ip[] mac[" + kMac + "] label[Front desk, left]"}},
    };
    for (const FileCase& c : cases) EXPECT_EQ(ReadAndDescribe(c.file), c.expected) << c.file;
}

TEST(PcList, DropsControlCharactersFromLabels) {
    const FileCase cases[] = {
        // A tab inside quotes is a blank; a line of controls only is blank.
        {Bytes("De\0sk\x01 1\x7F;\"A\tB\x1B\"\t001a2b3c4d5e"), {"1: ip[] mac[" + kMac + "] label[Desk 1 A B]"}},
        {Bytes("Na\0me\x1F\n\x7F\0\nx\x02"), {"1: Line 1 read as the header: Name", "3: Line 3 skipped: no MAC or IP"}},
    };
    for (const FileCase& c : cases) EXPECT_EQ(ReadAndDescribe(c.file), c.expected) << c.file;
}

TEST(PcList, TellsTheHeaderAndWhatWasReadOnEachSkippedLine) {
    std::string umlauts;  // the header is cut at 60 characters, never inside one
    for (int i = 0; i < 60; ++i) umlauts += "\xC3\xBC";
    const std::string file = "\nName;;MAC\tIP " + umlauts +
                             "\n10.0.0.5 Desk\n001a2b3c4d5e 00-00-00-00-00-00 10.0.0.1 PC\n\"open 10.0.0.1\n"
                             "10.0.1.255\n000000000000 x";
    const std::vector<std::string> expected = {
        "header[] 0 ip[] mac[] label[] note[] Line 2 read as the header: Name MAC IP " + umlauts.substr(0, 2 * 48),
        "skipped[no MAC for 10.0.0.5] 3 ip[10.0.0.5] mac[] label[Desk] note[]",
        "skipped[two MACs] 4 ip[10.0.0.1] mac[" + kMac + "] label[PC] note[]",
        "skipped[a quote is not closed] 5 ip[] mac[] label[open 10.0.0.1] note[]",
        "skipped[no MAC, and 10.0.1.255 is a network or broadcast address] 6 ip[] mac[] label[] note[10.0.1.255 "
        "cannot be watched: a network or broadcast address]",
        "skipped[00-00-00-00-00-00 wakes no PC] 7 ip[] mac[00-00-00-00-00-00] label[x] note[]",
    };
    std::vector<std::string> problems;
    for (const PcListProblem& p : ReadPcList(file, KnownMac).problems) {
        const PcEntry& e = p.as_read;
        const bool header = p.kind == PcListProblemKind::kHeader;
        problems.push_back((header ? "header[" : "skipped[") + p.reason + "] " + std::to_string(e.line) + " ip[" +
                           e.ip + "] mac[" + e.mac + "] label[" + e.label + "] note[" + e.note + "]" +
                           (header ? " " + p.text : ""));
    }
    EXPECT_EQ(problems, expected);
}

TEST(PcList, DecodesUtf8AndUtf16ByTheirMarksOrZeroBytesAndAnAnsiFileAsWindows1252) {
    struct Case {
        std::string bytes;
        std::string text;
    };
    const Case cases[] = {
        {"abc", "abc"},
        {"\xEF\xBB\xBF" "abc", "abc"},
        {"Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "Caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {Bytes("\xFF\xFE" "a\0\xE9\0\xAC\x20=\xD8\x00\xDE"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {Bytes("\xFE\xFF\0a\0\xE9\x20\xAC\xD8=\xDE\x00"), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        // An unpaired surrogate, high or low, stands for U+FFFD; an odd last byte goes.
        {Bytes("\xFF\xFE\x00\xD8" "a\0\x00\xDC" "b"), "\xEF\xBF\xBD" "a\xEF\xBF\xBD"},
        // Not UTF-8 (a lone high byte, an overlong form, an encoded surrogate): ANSI.
        {"Caf\xE9 \x80\x9F", "Caf\xC3\xA9 \xE2\x82\xAC\xC5\xB8"},
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
        {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"},
        {"\xE2\x82", "\xC3\xA2\xE2\x80\x9A"},
        // Lead byte E0: U+0800..U+0FFF is UTF-8; E0 80..9F starts only overlong forms.
        {"\xE0\xA0\x80 नमस्ते สวัสดี", "\xE0\xA0\x80 नमस्ते สวัสดี"},
        {"\xE0\x80\x80", "\xC3\xA0\xE2\x82\xAC\xE2\x82\xAC"},
        {"\xE0\x9F\xBF", "\xC3\xA0\xC5\xB8\xC2\xBF"},
        // UTF-16 without a mark, by where its zero bytes are; a label in Cyrillic has none.
        {Bytes("a\0,\0\r\0\n\0"), "a,\r\n"},
        {Bytes("\0a\0,\0\r\0\n"), "a,\r\n"},
        {Bytes("\x11\x04\x11\x04" "1\0" "2\0"), "\xD0\x91\xD0\x91" "12"},
        // A NUL or two do not make UTF-16, nor do zero bytes on both sides, nor an odd size.
        {Bytes("Desk\0 1\0;;"), Bytes("Desk\0 1\0;;")},
        {Bytes("a\0\0b"), Bytes("a\0\0b")},
        {Bytes("a\0b\0c"), Bytes("a\0b\0c")},
    };
    for (const Case& c : cases) EXPECT_EQ(DecodeListText(c.bytes), c.text) << c.bytes;
}

TEST(PcList, RefusesALargeFileWholeBeforeAskingForAnyMac) {
    std::string lines;
    for (int i = 0; i < 9999; ++i) lines += "10.0.0.5\n";
    struct Case {
        std::string file;
        PcListSize size;
        std::size_t problems;
        int asked;
    };
    const Case cases[] = {
        {lines + "10.0.0.5\n", PcListSize::kFits, 10000, 10000},  // a last line end starts no line
        {lines + "10.0.0.5", PcListSize::kFits, 10000, 10000},
        // PCs count, not lines: the header, comments, blank lines and a field's line
        // breaks are none.
        {"Name\n# PCs\n,;\n" + lines + "\"10.0.0.5\n\"\n\n\r", PcListSize::kFits, 10001, 10000},
        {lines + "10.0.0.5\nx", PcListSize::kTooManyPcs, 0, 0},
        {"Name\n" + lines + "10.0.0.5\n\"x", PcListSize::kTooManyPcs, 0, 0},
        {std::string(kPcListMostBytes, '#'), PcListSize::kFits, 0, 0},
        {std::string(kPcListMostBytes + 1, '#'), PcListSize::kTooManyBytes, 0, 0},
    };
    for (const Case& c : cases) {
        int asked = 0;
        const PcList list = ReadPcList(c.file, [&asked](const std::string&) {
            ++asked;
            return std::string();
        });
        EXPECT_EQ(list.size, c.size) << c.file.size();
        EXPECT_EQ(list.problems.size(), c.problems) << c.file.size();
        EXPECT_EQ(asked, c.asked) << c.file.size();
    }
}

}  // namespace
