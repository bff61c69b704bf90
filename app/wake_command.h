#pragma once
// The "Turn on PC" command and its watcher, written over the main-dialog view and the
// wake's actions so that the order of their steps, their early exits and their
// messages can be checked natively with fakes. wake_command-win32.cpp gives the real
// actions and runs the watcher.
//
// One wake: validate the MAC text -> cache the IP-to-MAC pair -> progress dialog ->
// broadcast the magic packet -> hand the IP text to a watcher, an order of the probe
// engine that waits a minute for the machine to start, probes it and reports whether
// it answered. Without
// an IP there is nothing to remember or watch: the user is told the packet went out.
// SendWake decides and returns its outcome, so that it serves without a window too.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/main_dialog_view.h"
#include "net/magic_sender.h"  // WireEndpoint
#include "net/probe_engine.h"

constexpr int kWakePort = 40000;

constexpr char kErrorCaption[] = "Error";
constexpr char kInvalidMacMessage[] = "The MAC is invalid";
constexpr char kSendFailedMessage[] = "The PC couldn't be turned on.\nCheck MAC.";
constexpr char kWakeCaption[] = "Turning on PC...";
constexpr char kTurnedOnMessage[] = "The PC has been turned on.";
constexpr char kNotTurnedOnMessage[] = "The PC could not been turned on.";

/// The texts of the main dialog that a wake reads, each as the edit held it.
struct WakeFields {
    std::string ip;
    std::string mac;
    std::string password;
    /// Where the packet also goes (the command line's /to); the dialog has none.
    std::vector<WireEndpoint> also_to = {};
};

/// "Magic packet sent to <mac>.": a wake without an IP to watch, caption "Turning on
/// PC..." and the information icon.
Message SentMessage(const std::string& mac);

/// An IP-to-MAC pair that could not be remembered: the IP and MAC texts, and the
/// system's reason (empty when it is not known).
struct PairNotRemembered {
    std::string ip;
    std::string mac;
    std::string reason;
};

/// What the wake command does outside the dialog.
class WakeActions {
public:
    virtual ~WakeActions() = default;
    /// Remembers `text` under `name`; true when it was written, else false with the
    /// system's reason in `reason` when it is known.
    virtual bool WriteCache(const std::string& name, const std::string& text, std::string& reason) = 0;
    /// Broadcasts the magic packet, and sends it also to `ip` and its /24's broadcast
    /// when that text reads as an address on none of this PC's LANs, then to every
    /// endpoint of `also_to` (MagicPacketRoutes); true when at least one datagram went out.
    virtual bool SendMagicPacket(const std::string& mac, int port, const std::string& password,
                                 const std::string& ip, const std::vector<WireEndpoint>& also_to) = 0;
    /// Probes `ip` once while the packet for `mac` is about to leave, and returns at once:
    /// the packet never waits for it.
    virtual void ProbeBeforeSend(const std::string& ip, const std::string& mac) = 0;
    /// Hands `ip` and the woken `mac` to a new watcher and returns at once, whether or not
    /// one could start. `not_remembered`: the wake's pair, when it could not be
    /// remembered; the watcher's report says so too.
    virtual void StartWatcher(const std::string& ip, const std::string& mac,
                              const std::optional<PairNotRemembered>& not_remembered) = 0;
};

enum class WakeResult { kInvalidMac, kSendFailed, kSent };

struct WakeOutcome {
    WakeResult result;
    /// "The MAC is invalid" or the send failure, caption "Error", error icon; none once sent.
    Message message;
    /// The IP and MAC texts the wake used: the fields without the spaces and tabs around them.
    std::string ip;
    std::string mac;
    /// The pair was to be remembered and could not be.
    std::optional<PairNotRemembered> not_remembered;
};

/// Reads the IP and MAC texts without the spaces and tabs around them (the password as
/// it is). Refuses a MAC text IsValidMacText does not accept (nothing cached or sent);
/// otherwise caches the MAC text under the IP text when IsPairName allows that name,
/// calls `before_send`, and sends to port 40000 with the password, the IP text (for a
/// PC beyond a router) and the fields' `also_to`. The IP text is never validated.
WakeOutcome SendWake(const WakeFields& fields, WakeActions& actions, const std::function<void()>& before_send);

/// The "Turn on PC" button: SendWake of the IP, MAC and password fields with the
/// probe before the packet (when there is an IP text) and the progress dialog before the
/// send; then the refusal (and the focus to the MAC field), the failure, or, once sent,
/// the watcher for the IP text (told whether the pair was remembered), or SentMessage
/// when there is no IP text.
void TurnOnCommand(MainDialogView& view, WakeActions& actions);

/// How long a watcher gives the machine, as a value so that a test can shrink it. Every
/// time is counted from the send, on the engine's monotonic clock.
struct WatchSchedule {
    int wait_ms;   // to the first probe
    int attempts;  // probes at most, one after another
    int probe_ms;  // each probe's limit
    int end_ms;    // no probe runs past it
};

/// One minute for the machine to start, then up to 60 probes of 500 ms: the report comes
/// about 60 s after the send when the machine answers at once, and 90 s after it when it
/// never does.
constexpr WatchSchedule kWatchSchedule{60000, 60, 500, 90000};

/// The probe engine's order for a watch of `ip` (an address or a machine's name) sent at
/// `sent_ms`, following `schedule`; `done` gets its outcome.
ProbeOrder WatchOrder(const std::string& ip, const WatchSchedule& schedule, std::int64_t sent_ms,
                      std::function<void(const ProbeOutcome&)> done);
