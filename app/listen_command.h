#pragma once
// /listen, run on the PC that should wake while it is still on: does the magic packet
// get there at all? It listens on the UDP ports wake-on-LAN senders use and says, one
// line for each magic packet that arrives, who sent it, for which MAC and whether that
// MAC is one of this PC's own; the last line sums up, and when nothing arrived it says
// what to suspect.
//
// Written here: the lines, the summary, the exit code and when listening ends, over a
// small interface, so that a native test can drive them with fakes;
// listen_command-win32.cpp gives it this PC's sockets, clock and Ctrl-C.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/main_dialog_view.h"  // Message
#include "net/adapter_list.h"
#include "net/magic_packet_finder.h"
#include "net/magic_sender.h"  // LocalIpv4Address
#include "net/udp_listener.h"

/// The UDP ports wake-on-LAN senders use, in the order they are opened.
constexpr std::array<std::uint16_t, 3> kListenPorts = {40000, 9, 7};
constexpr int kListenDefaultSeconds = 60;
constexpr int kListenMostSeconds = 3600;
/// Upper bound of one wait, so that Ctrl-C is seen promptly.
constexpr int kListenSliceMs = 100;
/// Most lines a box shows; the lines after these but the last are summed up in one.
constexpr std::size_t kListenBoxLines = 25;

/// The local time of day a line is stamped with.
struct TimeOfDay {
    int hour = 0, minute = 0, second = 0;
};

/// What listening needs of this PC besides the ports it opened.
class ListenSystem {
public:
    virtual ~ListenSystem() = default;
    /// Waits at most `slice_ms` for one datagram on any open port; returns at once when
    /// one is there.
    virtual ListenWait Receive(int slice_ms, ReceivedDatagram& datagram, SocketFailure& failure) = 0;
    /// Milliseconds on a monotonic clock; it may wrap, differences are taken unsigned.
    virtual std::uint32_t TickCount() = 0;
    virtual TimeOfDay LocalTime() = 0;
    /// True once the user asked to stop (Ctrl-C).
    virtual bool StopAsked() = 0;
};

/// What is known before listening starts.
struct ListenSetup {
    /// Each port of kListenPorts, open or not.
    std::vector<PortOpening> ports;
    /// This PC's adapters: whose MAC a packet is for.
    std::vector<AdapterInfo> adapters;
    /// This PC's IPv4 addresses: what a packet was sent to.
    std::vector<LocalIpv4Address> addresses;
    /// This program's own path and the Windows major version (WindowsMajorVersion, 0
    /// unknown), for the firewall command said when nothing arrived.
    std::string program_path;
    unsigned long windows_major = 0;
};

/// The command an administrator runs to let `program_path` receive on the listening
/// ports on every network, Public too: `netsh advfirewall` from Vista on (and when the
/// version is unknown), XP's `netsh firewall`, which allows a program on all its ports.
std::string FirewallAllowCommand(const std::string& program_path, unsigned long windows_major);

/// The line for a magic packet: time, sender, the address it was sent to as far as the
/// system tells (a broadcast, this PC's own address or another), the MAC, the password
/// bytes when there are some, and "matches <adapter description>" or "not a MAC of
/// this PC". For example:
///   14:03:09 from 10.77.0.2:40211 to broadcast 10.77.0.255:9: 00-1A-2B-3C-4D-5E, not a MAC of this PC
std::string FormatHeardLine(const TimeOfDay& time, const ReceivedDatagram& datagram, const FoundMagicPacket& packet,
                            const ListenSetup& setup);

/// Listens for `seconds` (1 to 3600) or until StopAsked, on the ports of `setup` that are
/// open, and gives every line to `say` (without its line end) as it is made: one for
/// each port that could not be opened, one saying where it listens, one for each magic
/// packet (of a datagram's packets, those for this PC first), one when receiving fails
/// (which ends listening), and the summary, which counts the magic packets and the
/// datagrams that held none. Returns the exit code: 0 when a magic
/// packet for a MAC of this PC arrived, 1 when none did, 3 when no port is open (and
/// nothing is received then).
int RunListen(int seconds, const ListenSetup& setup, ListenSystem& system,
              const std::function<void(const std::string& line)>& say);

/// The lines of a run that shows them in a box at its end, kept as they come: only
/// those the box shows, so that a flood of magic packets cannot fill the memory.
class BoxLines {
public:
    void Add(std::string line);
    /// All lines when there were at most kListenBoxLines, else the first
    /// kListenBoxLines - 2 and the last.
    const std::vector<std::string>& Kept() const { return kept_; }
    /// How many lines were added, kept or not.
    std::size_t Count() const { return count_; }

private:
    std::vector<std::string> kept_;
    std::size_t count_ = 0;
};

/// The box a listen shows at its end when there is no console to write to: its lines,
/// at most kListenBoxLines of them, the last one always.
Message ListenBox(const BoxLines& lines, int exit_code);
