#pragma once
// What a wake's watch saw, and what its report says about it. The watch (wake_watch.h)
// gathers the sighting; the dialog, /wake /wait and /list /wait all report it through
// DecideWakeReport, so that they say the same thing with the same exit code.
//
// Which verdict wins: the woken MAC found answering at another address first (DHCP
// often gives the old address to someone else and the woken PC a new one); then
// another device at the address, named by the ARP row of its latest answer; then
// "already on" when the address answered before the packet left and that answer was
// the woken PC's or cannot be told apart from it; then whether it answered at all.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "addr/ip_text.h"
#include "addr/mac_text.h"
#include "app/main_dialog_view.h"
#include "app/wake_command.h"  // PairNotRemembered
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
    /// The ARP row the address's last answer after the packet left, when the address is
    /// on a LAN of this PC; none when it is not (the row would be the router's) or there
    /// was no row.
    std::optional<MacBytes> mac_at_address;
    /// The woken MAC's row at another address of that LAN, which answered.
    std::optional<Ipv4Bytes> new_address;
    /// The address's last answer: when (on the watch's clock), and how.
    std::int64_t answered_ms = 0;
    AnswerKind how = AnswerKind::kNone;
    std::uint16_t port = 0;  // kTcp: the service port
    /// The ARP row the answer before the packet left, as mac_at_address. Kept apart from
    /// it: another device that held the address before the packet says nothing about
    /// what answers there after it.
    std::optional<MacBytes> mac_before = std::nullopt;
    /// The sweep for a new address was skipped because the watch ended too soon after
    /// the send for it: the watch it needs, in whole seconds from the send. 0: not so.
    int sweep_needs_s = 0;
    /// The engine could not ask the address after the packet before the watch ended (a
    /// busy engine without a raw socket): its silence says nothing.
    bool not_asked = false;
    /// The pairs the wake could not remember, in the order it tried them.
    std::vector<PairNotRemembered> not_remembered = {};
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
    /// kOtherMac: the device that answers at the address.
    MacBytes other_mac{};
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
/// kOtherMac needs an answer and an ARP row that is a unicast MAC other than the woken
/// one: the row of the answers after the packet when they left one, else the row of
/// the answer before it. kAlreadyOn needs the answer before the packet, its row the
/// woken MAC or none that names a device.
WakeReport DecideWakeReport(const WakeSighting& seen);

/// "The MAC <mac> could not be remembered for <ip>.", then, when the reason is known,
/// " The registry said: <reason>."
std::string CacheFailedText(const PairNotRemembered& pair);

/// The dialog's box for what a watch saw: the report's message, then a line of its own
/// for each pair that could not be remembered.
Message WakeReportBox(const WakeSighting& seen);

/// "a.b.c.d".
std::string FormatIpv4(const Ipv4Bytes& address);
