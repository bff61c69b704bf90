#pragma once
// What a wake's watch saw, and what its report says about it. The watch (wake_watch.h)
// gathers the sighting; the dialog, /wake /wait and /list /wait all report it through
// DecideWakeReport, so that they say the same thing with the same exit code.
//
// Which verdict wins: the woken MAC found answering at another address first (DHCP
// often gives the old address to someone else and the woken PC a new one); then
// another device at the address, named by its ARP row; then "already on" when the
// address answered before the packet left; then whether it answered at all.
#include <cstdint>
#include <optional>
#include <string>

#include "addr/ip_text.h"
#include "addr/mac_text.h"
#include "app/main_dialog_view.h"
#include "net/probe_engine.h"  // AnswerKind

constexpr char kAlreadyOnMessage[] = "The PC was already on.";

/// What the watch of one wake saw.
struct WakeSighting {
    /// The woken MAC.
    MacBytes woken{};
    /// The address the watch probed, once the host gave one.
    std::optional<Ipv4Bytes> address;
    /// The address answered the probe made before the packet left (no PC boots within it).
    bool on_before = false;
    /// The address answered after the packet.
    bool answered = false;
    /// The ARP row the address's last answer left, when the address is on a LAN of this
    /// PC; none when it is not (the row would be the router's) or there was no row.
    std::optional<MacBytes> mac_at_address;
    /// The woken MAC's row at another address of that LAN, which answered.
    std::optional<Ipv4Bytes> new_address;
    /// The address's last answer: when (on the watch's clock), and how.
    std::int64_t answered_ms = 0;
    AnswerKind how = AnswerKind::kNone;
    std::uint16_t port = 0;  // kTcp: the service port
};

enum class WakeVerdict { kTurnedOn, kAlreadyOn, kNewAddress, kOtherMac, kNoAnswer };

/// The report of one watched wake.
struct WakeReport {
    WakeVerdict verdict;
    /// The box: caption "Turning on PC...", information icon, warning for kOtherMac.
    Message message;
    /// /wake /wait's exit code: 0 seen on, 1 nothing answered, 4 another device.
    int exit_code;
    /// /report's verdict field.
    const char* token;
};

/// True when `mac` can name one machine: neither all zero nor a group address.
bool IsUnicastMac(const MacBytes& mac);

/// The verdict and its texts:
///   kNewAddress  "The PC has been turned on at <IP2>."                       0 new-address
///   kOtherMac    "A device with another MAC (<MAC>) answers at <IP>.\nIt may not be the PC you woke."
///                                                                             4 other-mac
///   kAlreadyOn   "The PC was already on."                                     0 already-on
///   kTurnedOn    "The PC has been turned on."                                 0 answered
///   kNoAnswer    "The PC could not been turned on."                           1 no-answer
/// kOtherMac needs an answer (before or after the packet) and an ARP row that is a
/// unicast MAC other than the woken one.
WakeReport DecideWakeReport(const WakeSighting& seen);

/// "a.b.c.d".
std::string FormatIpv4(const Ipv4Bytes& address);
