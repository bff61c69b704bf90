#pragma once
// /list: wakes every PC of a list file (pc_list.h) in list order, each with exactly the
// packets a single /wake sends, through the same SendWake (which remembers each IP-to-MAC
// pair as /wake does); with /wait it then watches all of them at once and says each
// verdict as it is known, then sums up. /report writes the outcome as a CSV file.
//
//   192.168.1.20 00-1A-2B-3C-4D-5E Reception answered after 12 s (echo)
//   00-1A-2B-3C-4D-60 Printer room sent, not watched
//   192.168.1.22 00-1A-2B-3C-4D-61 no answer
//   1 of 2 PCs answered in 95 s.
//
// Written here: the order of sends and pauses, the lines, the report's text and the exit
// code, over ListSystem, so that a native test can drive them with fakes; the Win32
// side gives it the file system, the MAC sources, the magic packet sender, the clock,
// the probe engine and Ctrl-C.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/pc_list.h"
#include "app/wake_command.h"
#include "net/probe_engine.h"

/// What /list needs of this computer.
class ListSystem {
public:
    virtual ~ListSystem() = default;
    /// The file's bytes; false with the system's reason in `error` when it cannot be
    /// read. It may stop reading past kPcListMostBytes: such a file is refused anyway.
    virtual bool ReadListFile(const std::string& path, std::string& bytes, std::string& error) = 0;
    /// The MAC of an IP text from the ARP table or the address cache; never an ARP
    /// request, which would block seconds for each PC that is off. Empty: none known.
    virtual std::string FindMacWithoutRequest(const std::string& ip) = 0;
    /// WriteCache, SendMagicPacket and ProbeBeforeSend as /wake uses them; its watcher is
    /// never started (WatchAll watches).
    virtual WakeActions& Wake() = 0;
    /// Waits `ms` (0: not at all); false when the run has been cut short (Ctrl-C) before
    /// or while it waited.
    virtual bool Pause(int ms) = 0;
    /// The first IPv4 address of a /to name; none when it does not resolve.
    virtual std::optional<Ipv4Bytes> ResolveHost(const std::string& name) = 0;
    /// Milliseconds on a monotonic clock, the one the watch's times are on.
    virtual std::int64_t NowMs() = 0;
    /// The watch of every target at once; see WatchAllFunction.
    virtual void WatchAll(const std::vector<WatchTarget>& targets, std::int64_t end_ms,
                          const WatchVerdict& verdict) = 0;
    /// True when both names open one and the same file, however each is spelled; a name
    /// that names no file yet is no other file.
    virtual bool IsSameFile(const std::string& a, const std::string& b) = 0;
    /// Creates or replaces the file with `text`, whole or not at all: a file that was
    /// there stays as it was when the write fails. False with the reason in `error`.
    virtual bool WriteReportFile(const std::string& path, const std::string& text, std::string& error) = 0;
};

enum class PcVerdict {
    kAnswered,
    kAlreadyOn,   // it answered before its packet left
    kNewAddress,  // its MAC answered at another address of its LAN
    kOtherMac,    // another device answers at its address
    kNoAnswer,
    kNotWatched,  // sent, but not watched: without /wait, or a PC listed without an IP
    kNotDecided,  // the run was cut short before its verdict (or its send), or its address was never asked
    kNotSent,     // its packet could not go out
};

/// What became of one PC of the list.
struct PcResult {
    PcVerdict verdict = PcVerdict::kNotDecided;
    /// kAnswered: from its send to its answer, and how it answered.
    std::int64_t after_ms = 0;
    AnswerKind how = AnswerKind::kNone;
    std::uint16_t port = 0;
    /// kNewAddress: the address; kOtherMac: the other device's MAC.
    std::string where;
};

/// "<IP> <MAC> <label> <verdict>", without the IP or label when there is none, and
/// " (<note>)" after it when the PC has one. The
/// verdict: "answered after 12 s (echo)" or "... (tcp/3389)" (whole seconds, rounded),
/// "was already on", "turned on at 10.0.0.7", "another MAC (02-00-00-00-00-09) answers",
/// "no answer", "not decided", "could not be sent", and for a PC not watched "sent,
/// not watched" when `watching` (/wait), else "sent".
std::string FormatPcLine(const PcEntry& pc, const PcResult& result, bool watching);

/// "38 of 40 PCs answered in 71 s." (whole seconds, rounded; "1 of 1 PC" for one).
std::string FormatSummaryLine(std::size_t answered, std::size_t watched, std::int64_t elapsed_ms);

/// The /report file: a UTF-8 byte order mark (so that a spreadsheet reads the labels
/// right), the line "ip,mac,label,verdict,seconds,answered_by,note", then one row for
/// each PC of `pcs` and each skipped line of `problems`, in the file's line order. A
/// PC's verdict is one of answered, already-on, new-address, other-mac, no-answer,
/// not-watched, not-decided, not-sent; seconds from its send to its answer with one
/// decimal ("5.2") and answered_by "echo" or "tcp/<port>", both empty unless it
/// answered; note its PcEntry::note. A skipped line's row has what was read of its IP,
/// MAC and label, the verdict "skipped" and its reason as the note. A field that holds
/// a comma, a quote or a line end is quoted (RFC 4180); one that a spreadsheet would
/// take for a formula (it starts with '=', '+', '-', '@', a tab or a carriage return)
/// gets a "'" before it and is quoted, so that it shows as the text it is. Lines end
/// with "\r\n". `results` has one for each of `pcs`.
std::string FormatReportCsv(const std::vector<PcEntry>& pcs, const std::vector<PcResult>& results,
                            const std::vector<PcListProblem>& problems);

/// Runs a kList request and gives every line to `say` (without its line end) as it is
/// made:
///   - a /to name that does not resolve: its line, exit 2, before the list is read;
///   - a list that cannot be read, or a /report that names the list's own file under
///     another spelling: one line saying so, exit 2, no report;
///   - a list that is too large (kPcListMostBytes, kPcListMostPcs) or names no PC: one
///     line saying so (after the skipped lines), exit 2, no report;
///   - each skipped line of the list and its header, then the sends in list order with
///     /delay between two of them, each after the probe before its packet when it is to
///     be watched; Ctrl-C before a send (the first too) stops the sends. Without /wait
///     one line per PC as it is sent; with /wait the lines of
///     the PCs that are not watched or not sent right after the sends, then one per
///     watched PC as its verdict is known, for /timeout seconds from the last send;
///     then "not decided" for each PC left when the run was cut short, and the summary
///     (seen on, wherever and whenever, of watched, from the first send);
///   - every PC's packet goes also to every /to, as /wake sends it;
///   - a pair that could not be remembered adds CacheFailedText, as /wake does: the
///     typed one's after its send, a new address's after its PC's verdict;
///   - with /wait, SweepSkippedText once after the verdicts when a PC's sweep was
///     skipped for want of time and SweepSkipMatters (the most any needed);
///   - the report file, when asked for, at the end; one that cannot be written is one
///     line naming the file and the reason.
/// Returns 3 when no packet went out; else 6 when the report could not be written; else
/// 0 when every PC was sent to and, with /wait, every watched one was seen on, without a
/// cut or a skipped line; else 4 when the only ones amiss have another device at their
/// address; else 1.
int RunList(const CommandRequest& request, ListSystem& system, const std::function<void(const std::string& line)>& say);
