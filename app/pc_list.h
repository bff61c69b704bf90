#pragma once
// The list file of /list: one PC per line, as a person types it in Notepad or a
// spreadsheet exports it.
//
//   # office PCs
//   Name;MAC;IP
//   "Reception, front desk";00-1A-2B-3C-4D-5E;192.168.1.20
//   192.168.1.21 001a2b3c4d5f
//   Accounts	192.168.1.22
//
// A field is a MAC or an IP by its shape, in any order; every other field is part of
// the PC's label. Fields are separated by commas, semicolons, tabs or spaces; a run of
// separators is one, and empty fields count for nothing. A field may be quoted ("..."
// with "" for a quote inside), which keeps its separators. Blank lines and lines that
// start with '#' (after leading blanks) are skipped; so is the first other line when it
// holds neither a MAC nor an IP: a spreadsheet's header.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "addr/mac_text.h"
#include "app/mac_resolution.h"  // FindMac

/// A larger list file is refused whole: a wrong file (a log, a disk image) would
/// otherwise be read as thousands of bad lines, each reported.
constexpr std::size_t kPcListMostBytes = 1024 * 1024;
constexpr std::size_t kPcListMostLines = 10000;

/// One PC the list names.
struct PcEntry {
    int line = 0;       // in the file, from 1
    std::string ip;     // as written; empty: none
    std::string mac;    // as FormatMacText writes it
    std::string label;  // UTF-8, its parts joined by one space; empty: none
    std::string note;   // said on its line and in the report; empty: none
};

/// A line that names no PC to wake, and why, e.g. "Line 7 skipped: no MAC for 10.0.0.5".
enum class PcListProblemKind { kSkipped, kHeader };
struct PcListProblem {
    int line = 0;
    std::string text;    // the whole line said to the user
    PcListProblemKind kind = PcListProblemKind::kSkipped;
    std::string reason;  // kSkipped: "no MAC for 10.0.0.5", "two MACs", "a quote is not closed", ...; kHeader: empty
    PcEntry as_read;     // kSkipped: its line, first IP, first MAC (FormatMacText) and label as far as read; may be empty
};

enum class PcListSize { kFits, kTooManyBytes, kTooManyLines };

struct PcList {
    /// Anything but kFits: nothing was read, there are no entries and no problems.
    PcListSize size = PcListSize::kFits;
    std::vector<PcEntry> entries;  // in file order
    std::vector<PcListProblem> problems;  // in file order
};

/// The file's text as UTF-8, without a byte order mark. A UTF-16 file needs its mark
/// (FF FE little-endian, FE FF big-endian; Notepad's "Unicode" writes one), an unpaired
/// surrogate becomes U+FFFD and an odd last byte is dropped. A UTF-8 mark is dropped.
/// Without a mark the text is UTF-8 when it is valid UTF-8; otherwise it was saved in
/// the Western ANSI code page (Windows-1252, as Excel's "CSV" does), and is converted.
std::string DecodeListText(std::string_view bytes);

/// The fields of one line, each without the blanks around it; empty ones left out.
std::vector<std::string> SplitListFields(std::string_view line);

/// The MAC a field names: 17 characters that the program's MAC rule accepts (any
/// separator; the zero MAC too, so that it can be refused as such), or 12 hexadecimal
/// digits. Nothing for any other field.
std::optional<MacBytes> ReadListMac(std::string_view field);

/// True when a field is an IP: IsValidIpText and ReadIpv4Octets both accept it.
bool IsListIp(std::string_view field);

/// Reads a list file. A line with an IP and no MAC asks `find_mac` for it (its answer
/// read like a MAC field). A line is skipped and reported when it holds no MAC or IP
/// (but for the header), two MACs, two IPs, a zero or group MAC, which wakes nobody,
/// or only an IP whose MAC is not found. Files over kPcListMostBytes bytes or
/// kPcListMostLines lines are refused before anything else.
PcList ReadPcList(const std::string& file_bytes, const FindMac& find_mac);
