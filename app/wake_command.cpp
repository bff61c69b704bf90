#include "app/wake_command.h"

#include <algorithm>

#include "addr/mac_text.h"
#include "addr/typed_text.h"
#include "cache/cache_value.h"

Message SentMessage(const std::string& mac) {
    return Message{"Magic packet sent to " + mac + ".", kWakeCaption, MessageIcon::kInformation};
}

WakeOutcome SendWake(const WakeFields& fields, WakeActions& actions, const std::function<void()>& before_send) {
    WakeOutcome outcome{WakeResult::kSent, Message{}, TrimBlanks(fields.ip), TrimBlanks(fields.mac)};
    if (!IsValidMacText(outcome.mac)) {
        outcome.result = WakeResult::kInvalidMac;
        outcome.message = Message{kInvalidMacMessage, kErrorCaption, MessageIcon::kError};
        return outcome;
    }
    // Cached before anything is sent, and kept whatever happens next. Never under the
    // default value or the last IP's name, which would overwrite what the dialog opens with.
    if (IsPairName(outcome.ip)) outcome.cache_failed = !actions.WriteCache(outcome.ip, outcome.mac);
    before_send();
    if (!actions.SendMagicPacket(outcome.mac, kWakePort, fields.password)) {
        outcome.result = WakeResult::kSendFailed;
        outcome.message = Message{kSendFailedMessage, kErrorCaption, MessageIcon::kError};
    }
    return outcome;
}

void TurnOnCommand(MainDialogView& view, WakeActions& actions) {
    const WakeFields fields{view.ReadField(DialogField::kIpAddress), view.ReadField(DialogField::kMacAddress),
                            view.ReadField(DialogField::kPassword)};
    const WakeOutcome outcome = SendWake(fields, actions, [&view] { view.RunProgress(); });
    switch (outcome.result) {
    case WakeResult::kInvalidMac:
        view.ShowMessage(outcome.message);
        view.FocusField(DialogField::kMacAddress);
        break;
    case WakeResult::kSendFailed:
        view.ShowMessage(outcome.message);
        break;
    case WakeResult::kSent:
        // A watch of no address could only ever report failure.
        if (outcome.ip.empty()) {
            view.ShowMessage(SentMessage(outcome.mac));
        } else {
            actions.StartWatcher(outcome.ip);
        }
        break;
    }
}

bool WatchForAnswer(const std::string& ip, const WatchSchedule& schedule, const ProbeStarter& start,
                    const SleepFunction& sleep, const ClockFunction& clock) {
    const std::int64_t begin = clock();
    const std::int64_t end = begin + schedule.end_ms;
    // One sleep, and another should it end early.
    for (std::int64_t left; (left = begin + schedule.wait_ms - clock()) > 0;) sleep(static_cast<int>(left));
    for (int attempt = 0; attempt < schedule.attempts; ++attempt) {
        const std::int64_t now = clock();
        if (now >= end) break;
        const std::int64_t deadline = std::min(now + schedule.probe_ms, end);
        ProbeHandle probe = start(ip, static_cast<std::int32_t>(deadline - now));
        const bool answered = PollForAnswer(
            deadline, schedule.pause_ms, [&probe] { return probe.IsAnswered(); }, sleep, clock);
        // From here on the probe's answer no longer counts, and it stops by itself.
        probe.Abandon();
        if (answered) return true;
    }
    return false;
}

WatchOutcome WatchForWake(const std::string& ip, const WatchSchedule& schedule, const ProbeStarter& start,
                          const SleepFunction& sleep, const ClockFunction& clock) {
    const bool answered = WatchForAnswer(ip, schedule, start, sleep, clock);
    return WatchOutcome{answered ? WatchResult::kAnswered : WatchResult::kNoAnswer,
                        Message{answered ? kTurnedOnMessage : kNotTurnedOnMessage, kWakeCaption,
                                MessageIcon::kInformation}};
}
