#include "app/wake_command.h"

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
                    const SleepFunction& sleep) {
    sleep(schedule.wait_ms);
    const std::int32_t limit_ms = static_cast<std::int32_t>(schedule.polls) * schedule.pause_ms;
    for (int attempt = 0; attempt < schedule.attempts; ++attempt) {
        ProbeHandle probe = start(ip, limit_ms);
        const bool answered = PollForAnswer(
            schedule.polls, schedule.pause_ms, [&probe] { return probe.IsAnswered(); }, sleep);
        // From here on the probe's answer no longer counts, and it stops by itself.
        probe.Abandon();
        if (answered) return true;
    }
    return false;
}

WatchOutcome WatchForWake(const std::string& ip, const WatchSchedule& schedule, const ProbeStarter& start,
                          const SleepFunction& sleep) {
    const bool answered = WatchForAnswer(ip, schedule, start, sleep);
    return WatchOutcome{answered ? WatchResult::kAnswered : WatchResult::kNoAnswer,
                        Message{answered ? kTurnedOnMessage : kNotTurnedOnMessage, kWakeCaption,
                                MessageIcon::kInformation}};
}
