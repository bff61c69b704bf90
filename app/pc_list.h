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
// the PC's label, its parts joined by one space.
//
// Fields: a line with a comma, semicolon or tab (outside quotes) is split only at
// those, and each field loses the blanks around it. Such a field that holds blanks is
// read word by word: a 17-character MAC or an IP among its words counts as one, but 12
// hexadecimal digits count as a MAC only as a whole field ("Call 123456789012" is a
// label). A line without any of the three is split at its blanks, each word a field.
// A run of separators is one; empty fields count for nothing.
//
// Quotes: a field may be quoted ("..." with "" for a quote inside), which keeps its
// separators; a quoted field is label text unless it is exactly a MAC or an IP. A
// quoted field may span up to 4 line breaks (a spreadsheet cell with line breaks);
// each becomes one space, as does a tab inside quotes, and the PC's line is its
// first. A quote not closed within 4 line breaks, or by the end of the file, ends at
// the end of its own line: that line is skipped ("a quote is not closed") and reading
// goes on with the next, so an odd quote never swallows the file.
//
// Control characters (C0 but tab, and DEL) are dropped wherever they stand, so none
// reaches a label or a note.
//
// Addresses that cannot be watched: a field of four decimal octets (ReadIpv4Octets)
// that IsValidIpText refuses is no label text. The PC keeps no IP, so it is woken by
// its MAC and not watched, and its note says why: "10.0.1.255 cannot be watched: a
// network or broadcast address" (last octet 0 or 255), or "... a loopback, multicast
// or reserved address" (first octet 0, 127, or 224 and up). It counts as the line's
// IP for "two IPs" and for the header; without a MAC on its line the line is skipped.
//
// Skipped: blank lines, lines of separators only, and lines that start with '#'
// (after leading blanks). The first other line is the header when it holds no MAC,
// no IP and no open quote; it is reported as such (PcListProblemKind::kHeader). Every
// other line names one PC, to wake or to report as skipped.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "addr/mac_text.h"
#include "app/mac_resolution.h"  // FindMac

/// A larger list file is refused whole: a wrong file (a log, a disk image) would
/// otherwise be read as thousands of bad lines, each reported. PCs are the lines that
/// name one, skipped ones included: blank and comment lines and the header are none.
constexpr std::size_t kPcListMostBytes = 1024 * 1024;
constexpr std::size_t kPcListMostPcs = 10000;

/// One PC the list names.
struct PcEntry {
    int line = 0;       // in the file, from 1
    std::string ip;     // as written; empty: none
    std::string mac;    // as FormatMacText writes it
    std::string label;  // UTF-8, its parts joined by one space; empty: none
    // Said on its line and in the report, e.g. "10.0.1.255 cannot be watched: a network
    // or broadcast address"; empty: none. Initialised, so that an entry written as
    // {line, ip, mac, label} needs none.
    std::string note{};
};

enum class PcListProblemKind { kSkipped, kHeader };

/// What the user is told about a line that names no PC to wake.
struct PcListProblem {
    int line = 0;
    /// The whole line said to the user. kSkipped: "Line 7 skipped: <reason>"; kHeader:
    /// "Line 1 read as the header: <its fields joined by one space, at most 60 characters>".
    std::string text;
    PcListProblemKind kind = PcListProblemKind::kSkipped;
    /// kSkipped: "no MAC or IP", "two MACs", "two IPs", "no MAC for 10.0.0.5",
    /// "00-00-00-00-00-00 wakes no PC", "a quote is not closed", "no MAC, and 10.0.1.255
    /// is a network or broadcast address"; kHeader: empty.
    std::string reason;
    /// kSkipped: its line, first IP, first MAC (FormatMacText), label and note as far as
    /// read; any of them may be empty. kHeader: empty.
    PcEntry as_read;
};

enum class PcListSize { kFits, kTooManyBytes, kTooManyPcs };

struct PcList {
    /// Anything but kFits: nothing was read, there are no entries and no problems.
    PcListSize size = PcListSize::kFits;
    std::vector<PcEntry> entries;  // in file order
    std::vector<PcListProblem> problems;  // in file order
};

/// The file's text as UTF-8, without a byte order mark. UTF-16 is known by its mark
/// (FF FE little-endian, FE FF big-endian; Notepad's "Unicode" writes one) or, without
/// one, by its zero bytes: an even-sized file in which, over its first 512 two-byte
/// units (or all, if fewer), at least half the units have a zero byte on one side and
/// a non-zero byte on the other, and at most one in eight as many the other way round.
/// An ASCII or UTF-8 text holds no NUL at all, while a list's MACs, IPs, separators and
/// line ends are all zero-padded units in UTF-16 (its labels, in Cyrillic or Thai,
/// need not be). In UTF-16 an unpaired surrogate becomes U+FFFD and an odd last byte is
/// dropped. A UTF-8 mark is dropped. Otherwise the text is UTF-8 when it is valid UTF-8;
/// if not, it was saved in the Western ANSI code page (Windows-1252, as Excel's "CSV"
/// does), and is converted.
std::string DecodeListText(std::string_view bytes);

/// The MAC a field names: 17 characters that the program's MAC rule accepts (any
/// separator; the zero MAC too, so that it can be refused as such), or 12 hexadecimal
/// digits. Nothing for any other field.
std::optional<MacBytes> ReadListMac(std::string_view field);

/// True when a field is an IP: IsValidIpText and ReadIpv4Octets both accept it.
bool IsListIp(std::string_view field);

/// Reads a list file. A line with an IP and no MAC asks `find_mac` for it (its answer
/// read like a MAC field). A line is skipped and reported when it holds no MAC or IP
/// (but for the header), two MACs, two IPs, a zero or group MAC, which wakes nobody,
/// only an IP whose MAC is not found, only an address that cannot be watched, or a
/// quote that is not closed. Files over kPcListMostBytes bytes or kPcListMostPcs PCs
/// are refused whole before any MAC is asked.
PcList ReadPcList(const std::string& file_bytes, const FindMac& find_mac);
