#pragma once
// The command line of tarvex-wol.exe, for shortcuts, scheduled tasks and batch files:
//
//   tarvex-wol.exe /wake <MAC or IP> [/ip <IP>] [/password <text>]
//                  [/wait [/timeout <s>] [/sweep|/nosweep]] [/to <host>[:<port>]]...
//   tarvex-wol.exe /list <file> [/password <text>] [/wait [/timeout <s>] [/sweep|/nosweep]]
//                  [/delay <ms>] [/report <file.csv>] [/to <host>[:<port>]]...
//   tarvex-wol.exe /check <IP>
//   tarvex-wol.exe /listen [/for <s>]
//   tarvex-wol.exe /?
//
// Written here: reading the arguments into a request, the exit codes, the texts a run
// reports and the choice of where they go. The entry point runs the request with the
// dialog's own flows and shows the report (command_line-win32.h); /listen and /list
// write their lines as they come (listen_command.h, list_command.h).
//
// The arguments come from the C runtime (__argc/__argv), which splits the command line
// by the usual MSVCRT rules for quotes and backslashes; the program does not split it
// itself. MinGW's runtime expands no wildcards unless asked to, so "/?" stays as typed.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/check_command.h"
#include "app/main_dialog_view.h"
#include "app/wake_command.h"
#include "app/wake_report.h"
#include "app/wake_watch.h"  // SweepSetting
#include "net/magic_sender.h"  // WireEndpoint
#include "net/probe_engine.h"  // ProbeOutcome

/// Exit codes of a run with arguments. Without arguments the dialog opens and the
/// process ends with 24, as it always has.
constexpr int kExitDone = 0;          // sent; with /wait or /check: it answered; /listen: one for this PC came; /?
constexpr int kExitNoAnswer = 1;      // /wait or /check: it did not answer; /listen: none for this PC came;
                                      // /list: a PC could not be sent to or, with /wait, did not answer
constexpr int kExitBadInput = 2;      // usage error, invalid MAC or IP, MAC not found, password too long,
                                      // a list that cannot be read or names no PC
constexpr int kExitNothingSent = 3;   // not one magic packet went out; /listen: not one port could be bound
constexpr int kExitOtherDevice = 4;   // /wait: a device with another MAC answers at the address, and the
                                      // woken MAC was not found elsewhere
constexpr int kExitReportFailed = 6;  // /list: the /report file could not be written (wins over 0, 1 and 4)

/// Longest /password, as the dialog's password field holds it.
constexpr std::size_t kPasswordMax = 6;

/// /timeout: how long a /wait watches, in seconds from the (last) send.
constexpr int kWatchDefaultSeconds = 90;
constexpr int kWatchMostSeconds = 600;
/// /delay: the pause between two sends of a /list, in milliseconds.
constexpr int kListMostDelayMs = 60000;

constexpr char kUsageCaption[] = "TARVEX WOL - Wake On Lan";
constexpr char kUsageText[] =
    "Usage:\n"
    "  tarvex-wol.exe /wake <MAC or IP> [/ip <IP>] [/password <text>]\n"
    "                 [/wait [/timeout <s>] [/sweep|/nosweep]] [/to <address or name>[:<port>]]...\n"
    "  tarvex-wol.exe /list <file> [/password <text>] [/wait [/timeout <s>] [/sweep|/nosweep]]\n"
    "                 [/delay <ms>] [/report <file.csv>] [/to <address or name>[:<port>]]...\n"
    "  tarvex-wol.exe /check <IP>\n"
    "  tarvex-wol.exe /listen [/for <s>]\n"
    "  tarvex-wol.exe /?\n"
    "/nosweep: never look for a PC that came up at a new address by asking every\n"
    "address of its LAN; /sweep: do, even where the NoSweep setting says not to.\n"
    "/list <file>: one PC per line, its MAC or IP (or both) and a label; /wait watches\n"
    "them all, /timeout (1 to 600 s, 90 without it) from the last send; /delay pauses\n"
    "between sends (0 to 60000 ms); /report writes a CSV file of the outcome.\n"
    "/to: also send the packet there, e.g. another subnet's broadcast or a router's\n"
    "name with a forwarded port (port 40000 without one); as often as needed.\n"
    "Exit codes: 0 done (with /wait or /check: it answered, every one for /list;\n"
    "/listen: a packet for this PC came), 1 it did not answer (/list: one did not or\n"
    "could not be sent; /listen: none came), 2 bad input, 3 nothing could be sent\n"
    "(/listen: no port could be bound), 4 a device with another MAC answers at the IP,\n"
    "6 the /report file could not be written.";

enum class CommandKind {
    kDialog,   // no arguments: the dialog, unchanged
    kWake,     // /wake
    kCheck,    // /check
    kListen,   // /listen: run by the caller, which writes its lines as they come (RunListen)
    kList,     // /list: run by the caller, which writes its lines as they come (RunList)
    kHelp,     // /?
    kRefused,  // the arguments make no request; `error` says why (exit 2)
};

/// Whether a /wait may sweep a LAN for a PC that came up at a new address.
enum class SweepAsked {
    kAsSet,  // neither /sweep nor /nosweep: as the NoSweep setting says
    kYes,    // /sweep
    kNo,     // /nosweep
};

/// One /to: an address text or a machine's name, and the UDP port.
struct ToTarget {
    std::string host;
    int port = kWakePort;
};

/// What the arguments ask for. Texts are as typed.
struct CommandRequest {
    CommandKind kind = CommandKind::kDialog;
    /// kWake: the MAC to wake, accepted by the MAC rule; empty when it is to be
    /// found from `ip` like "Get MAC" does.
    std::string mac;
    /// kWake: the IP text of /wake <IP> or /ip (empty: none); kCheck: the address.
    std::string ip;
    /// kWake, kList: the SecureOn password, at most 6 characters; empty: none.
    std::string password;
    /// kWake: watch for the machine in the foreground after the send (needs `ip`);
    /// kList: watch every PC that has an IP.
    bool wait = false;
    /// With `wait`: how long, 1 to 600 seconds from the (last) send.
    int timeout_seconds = kWatchDefaultSeconds;
    /// With `wait`: /sweep or /nosweep.
    SweepAsked sweep = SweepAsked::kAsSet;
    /// kList: the list file and the report file (empty: none), as typed.
    std::string list_file;
    std::string report_file;
    /// kList: the pause between two sends, 0 to 60000 ms.
    int delay_ms = 0;
    /// kWake, kList: every /to, in the order given.
    std::vector<ToTarget> to;
    /// kListen: how long to listen, 1 to 3600 seconds.
    int listen_seconds = 0;
    /// kRefused: one line naming the argument at fault.
    std::string error;
};

/// Reads the arguments that follow the program's name. Options are case-insensitive
/// and may start with '/' or '-'; each is given at most once, but for /to, which may
/// be given as often as needed. "/?" anywhere asks for
/// the usage, whatever else is there. The argument after /wake, /ip or /check, without
/// the spaces and tabs around it, is its value unless it is then empty or starts with
/// '/' or '-' (no MAC or address does); the argument after /password is its value as
/// it is, unless it is empty or one of the options.
///
/// /wake takes a MAC when its argument has 17 or more characters (refused with "The
/// MAC is invalid: <argument>" unless it has exactly 17, all the dialog's field holds,
/// and the MAC rule accepts it), otherwise an IP text, which is not checked here beyond
/// IsPairName: a name the cache keeps for itself is refused. /ip goes with /wake <MAC>
/// only; /wait needs an IP. /check takes an IP text, checked later by the Check
/// command's own rule. /listen stands alone but for /for, whose value is a decimal
/// number of seconds from 1 to 3600 (60 without it). /list takes a file, read later,
/// and goes with /password, /wait, /delay (decimal milliseconds, 0 to 60000) and
/// /report (a file, not the list's own name). /timeout (decimal seconds, 1 to 600),
/// /sweep and /nosweep (not both) go with /wait, of /wake or /list. /to goes with
/// /wake or /list: an address or a name (no ':' in it), then optionally ':' and a
/// decimal port from 1 to 65535 (40000 without it). Of /wake, /check, /list and
/// /listen one at most.
///
/// Refusals, each one line, options named as typed:
///   Unknown option: /x             Unexpected argument: x        Repeated option: /wait
///   Missing MAC or IP after /wake  Missing IP after /ip          Missing IP after /check
///   Missing password after /password         The MAC is invalid: 00-1A-2B-3C-4D-5G
///   Not an IP after /ip: UltimaIP
///   /password takes at most 6 characters                         /check cannot be used with /wake
///   /wait needs an IP: /wake <IP> or /ip <IP>                   /ip goes with /wake <MAC> only
///   /ip goes with /wake only          /password goes with /wake or /list only (likewise /wait)
///   /listen cannot be used with /wake (likewise /check, /list)   /for goes with /listen only
///   /list cannot be used with /wake (likewise /check)            /for takes 1 to 3600 seconds: 0
///   Missing file after /list      /delay goes with /list only     /report goes with /list only
///   /timeout goes with /wait (likewise /sweep, /nosweep)           /timeout takes 1 to 600 seconds: 0
///   /sweep cannot be used with /nosweep
///   /delay takes 0 to 60000 milliseconds: x                       /report would overwrite the list: a.txt
///   Missing address or name after /to   /to goes with /wake or /list only
///   /to takes <address or name>[:<port 1 to 65535>]: host:0
CommandRequest ParseCommandLine(const std::vector<std::string>& arguments);

/// What a run with arguments reports, and its exit code.
struct CommandReport {
    int exit_code = kExitDone;
    /// For standard output or a console: complete lines, each ended by "\r\n".
    std::string console_text;
    /// The message box for this result; none (an empty text) for a plain send.
    Message box;
};

/// A result the dialog would show as a message box (an error, a /wait or a /check
/// result): the box as the dialog shows it, and on a console the same text on one
/// line, each "\n" in it printed as a space.
CommandReport MessageReport(int exit_code, const Message& message);

/// A plain successful send: "Magic packet sent to <mac>." on a console, and no box.
CommandReport SentReport(const std::string& mac);

/// /?: the usage, on several lines or in a box with the information icon.
CommandReport UsageReport();

/// Arguments that make no request: the error as one line, "Error" box, exit 2.
CommandReport RefusalReport(const std::string& error);

/// The line added where a watch had no sweep because /timeout ended it too soon:
/// "No sweep for a new address: /timeout leaves no room for it (it needs at least
/// <needs_s> s)."
std::string SweepSkippedText(int needs_s);

/// True when a watch's sweep was skipped for want of time and that cost it a verdict:
/// the PC was not seen on at its address.
bool SweepSkipMatters(const WakeSighting& seen);

/// Whether the /wait of `request` sweeps, and whether a /sweep it asked for was overruled.
struct SweepChoice {
    bool sweep = true;
    bool sweep_overruled = false;
};

/// /nosweep: no; /sweep: yes, unless a policy turns the sweep off; neither: as the
/// NoSweep setting says. `setting` is not asked for /nosweep.
SweepChoice ChooseSweep(const CommandRequest& request, const std::function<SweepSetting()>& setting);

/// Said when a policy overruled /sweep.
constexpr char kSweepOverruledText[] =
    "/sweep is ignored: an administrator's policy turns the sweep off (NoSweep under "
    "HKLM\\Software\\Policies\\Tarvex\\WOL).";

/// One PC to watch after its wake.
struct WatchTarget {
    /// The IP text (for a single /wake it may also be a machine's name).
    std::string ip;
    /// When its packet went out, on the watch's own clock.
    std::int64_t sent_ms = 0;
    /// The woken MAC.
    std::string mac;
};

/// Takes what the watch of target `index` saw, once it has ended.
using WatchVerdict = std::function<void(std::size_t index, const WakeSighting& seen)>;

/// Watches every target as /wake /wait does (wake_watch.h; its probe before the packet
/// came from WakeActions::ProbeBeforeSend), from its send on, in attempts of about 2 s,
/// until `end_ms` (on the same clock as WatchTarget::sent_ms and
/// WakeSighting::answered_ms) at the latest, each LAN swept once at most; calls
/// `verdict` once for each target as its watch ends, on the caller's thread. Returns
/// when all are known, or when the run was cut short (Ctrl-C): a target not reported
/// by then is undecided.
using WatchAllFunction =
    std::function<void(const std::vector<WatchTarget>& targets, std::int64_t end_ms, const WatchVerdict& verdict)>;

/// One /wake /wait (wake_watch.h): probes `ip` once before the packet, not waiting for
/// it; runs `send`; when that says a packet went out, watches `ip` for the woken `mac`
/// from then on for `timeout_ms`, sweeping its LAN unless `sweep` is false. Returns what
/// was seen, nothing when nothing was sent. Blocks the caller until the watch ends.
using WakeWatchFunction = std::function<std::optional<WakeSighting>(
    const std::string& ip, const std::string& mac, std::int64_t timeout_ms, bool sweep,
    const std::function<bool()>& send)>;

/// The first IPv4 address of a machine's name; none when it does not resolve.
using ResolveFunction = std::function<std::optional<Ipv4Bytes>(const std::string& name)>;

/// The endpoints of every /to in order: an address text (ReadIpv4Octets) as it reads,
/// anything else through `resolve`, each name asked once per /to. False at the first
/// name that does not resolve, with "Cannot resolve /to host: <name>" in `error`.
bool ResolveToEndpoints(const std::vector<ToTarget>& to, const ResolveFunction& resolve,
                        std::vector<WireEndpoint>& endpoints, std::string& error);

/// What a run with arguments does on this computer: the wake's actions (its watcher is
/// never started), the "Get MAC" sources, the Check probe, the clock and the watch, run
/// to its end on the caller's thread, the name resolver for /to, and the NoSweep setting.
struct CommandLineSystem {
    WakeActions& wake;
    std::function<std::string(const std::string& ip_text)> find_mac;
    CheckProbe probe;
    std::function<std::int64_t()> now_ms;
    WakeWatchFunction watch_wake;
    ResolveFunction resolve;
    std::function<SweepSetting()> sweep_setting;
};

/// Runs `request` with the dialog's own flows and returns its report:
///   /check: CheckIp; not valid 2, on 0, off 1, with its message.
///   /wake: first every /to resolved (one that does not: its line, exit 2, nothing sent).
///   /wake <IP>: the MAC as "Get MAC" finds it (nothing found: its message, exit 2).
///   /wake: SendWake without a progress dialog, caching the pair only when there is an
///   IP text; an invalid MAC 2, nothing sent 3; then with /wait the watch of the IP
///   (the probe before the packet, then the watch from the send on, for /timeout
///   seconds, sweeping as ChooseSweep says) and its DecideWakeReport, exit code and
///   text, else "Magic packet sent to <MAC>." (0). Each pair that could not be
///   remembered (the typed one, then the new address's) adds CacheFailedText as a line
///   of its own, in the box too (a plain send then has one: SentMessage with that
///   line); then SweepSkippedText when SweepSkipMatters. The exit code stays.
///   /? the usage (0); refused arguments their one line (2). /list and /listen are the
///   caller's (RunList, RunListen).
CommandReport RunCommandRequest(const CommandRequest& request, CommandLineSystem& system);

/// Where a report is shown.
enum class OutputPlace {
    kStandardOutput,  // an inherited file, pipe or null device: a script's redirection
    kParentConsole,   // the console of the process that started this one, via CONOUT$
    kMessageBox,
    kNowhere,
};

/// The questions the choice asks of the process's surroundings, each asked at most
/// once and only when the answers before it have not decided.
struct OutputProbes {
    /// True when an inherited standard output is a file, a pipe, or a device that is no
    /// console (the null device of "> NUL").
    std::function<bool()> standard_output_redirected;
    /// Attaches to the parent's console; true when attached (or already attached).
    std::function<bool()> attach_parent_console;
    /// True when the window station is visible: somebody can see and close a box.
    std::function<bool()> window_station_visible;
};

/// Standard output when it is redirected; else the parent's console; else a
/// message box, only when the report has one and the window station is visible; else
/// nowhere (a task that runs while nobody is logged on never waits on a box).
OutputPlace ChooseOutputPlace(bool report_has_box, const OutputProbes& probes);
