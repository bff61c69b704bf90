#include "app/wake_command.h"

#include "addr/mac_text.h"

WakeOutcome SendWake(const WakeFields& fields, WakeActions& actions, const std::function<void()>& before_send) {
    if (!IsValidMacText(fields.mac)) {
        return WakeOutcome{WakeResult::kInvalidMac, Message{kInvalidMacMessage, kErrorCaption, MessageIcon::kError}};
    }
    // Cached before anything is sent, and kept whatever happens next.
    actions.WriteCache(fields.ip, fields.mac);
    before_send();
    if (!actions.SendMagicPacket(fields.mac, kWakePort, fields.password)) {
        return WakeOutcome{WakeResult::kSendFailed, Message{kSendFailedMessage, kErrorCaption, MessageIcon::kError}};
    }
    return WakeOutcome{WakeResult::kSent, Message{}};
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
        actions.StartWatcher(fields.ip);
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
