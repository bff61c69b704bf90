#pragma once
// The "Turn on PC" command and its watcher, written over small interfaces so that the
// order of their steps, their early exits and their messages can be checked natively
// with fakes. The Win32 side (wake_command-win32.cpp) reads the dialog's fields, shows
// the message boxes and runs the threads.
//
// One wake: validate the MAC text -> cache the IP-to-MAC pair -> progress dialog ->
// broadcast the magic packet -> hand the IP text to a detached watcher, which waits a
// minute for the machine to start, probes it and reports whether it answered.
#include <functional>
#include <memory>
#include <string>

#include "common/detached_thread.h"
#include "app/check_command.h"  // kIconError, kIconInformation
#include "net/probe_wait.h"

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
};

/// What the wake command needs of the main dialog.
class WakeDialog {
public:
    virtual ~WakeDialog() = default;
    virtual WakeFields ReadFields() = 0;
    /// Shows a modal message box with one OK button, owned by the dialog.
    virtual void ShowMessage(const std::string& text, const char* caption, unsigned icon) = 0;
    virtual void FocusMacField() = 0;
    /// Runs the progress dialog over the main dialog and returns when it has ended.
    virtual void RunProgress() = 0;
};

/// What the wake command does outside the dialog.
class WakeActions {
public:
    virtual ~WakeActions() = default;
    virtual void WriteCache(const std::string& name, const std::string& text) = 0;
    /// Broadcasts the magic packet; true when it went out.
    virtual bool SendMagicPacket(const std::string& mac, int port, const std::string& password) = 0;
    /// Hands `ip` to a new watcher and returns at once, whether or not one could start.
    virtual void StartWatcher(const std::string& ip) = 0;
};

/// Reads the fields; refuses a MAC text IsValidMacText does not accept ("The MAC is
/// invalid", focus to the MAC field, nothing cached or sent); otherwise caches the MAC
/// text under the IP text, runs the progress dialog, sends to port 40000 with the
/// password, and then either reports the failure or starts the watcher. The IP text is
/// used as typed, never validated.
void RunTurnOnCommand(WakeDialog& dialog, WakeActions& actions);

/// How long a watcher gives the machine, as a value so that a test can shrink it.
struct WatchSchedule {
    int wait_ms;      // before the first probe
    int attempts;     // probes at most
    int polls;        // per probe, the first at once
    int pause_ms;     // after every poll that saw no answer
};

/// One minute for the machine to start, then up to 60 probes of 50 polls at 10 ms:
/// the report comes about 60 s after the send when the machine answers at once, and
/// about 90 s after it when it never does.
constexpr WatchSchedule kWatchSchedule{60000, 60, 50, 10};

/// Sleeps `wait_ms`, then starts up to `attempts` probes of `ip` with `start` (each
/// given polls x pause as its limit), polling each with PollForAnswer and abandoning it
/// afterwards; an answer that comes after a probe's last poll does not count. True at
/// the first answer.
bool WatchForAnswer(const std::string& ip, const WatchSchedule& schedule, const ProbeStarter& start,
                    const SleepFunction& sleep);

/// Shows a watcher's report, from its own thread.
using ReportFunction = std::function<void(const std::string& text, const char* caption, unsigned icon)>;

/// The whole watcher: WatchForAnswer, then one report with caption "Turning on PC..."
/// and the information icon, "The PC has been turned on." or "The PC could not been
/// turned on.".
void RunWakeWatcher(const std::string& ip, const WatchSchedule& schedule, const ProbeStarter& start,
                    const SleepFunction& sleep, const ReportFunction& report);

/// Starts `routine` on a new detached thread that owns `record` from then on; the record
/// is released when the routine returns or throws, or here when no thread can start.
/// True when the thread started.
template <typename Record>
bool StartOwningThread(void (*routine)(std::unique_ptr<Record>), std::unique_ptr<Record> record) {
    return StartDetachedThread([routine, owned = std::move(record)]() mutable { routine(std::move(owned)); });
}
