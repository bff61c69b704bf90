#include "app/wake_command.h"

#include "addr/mac_text.h"

void RunTurnOnCommand(WakeDialog& dialog, WakeActions& actions) {
    const WakeFields fields = dialog.ReadFields();
    if (!IsValidMacText(fields.mac)) {
        dialog.ShowMessage(kInvalidMacMessage, kErrorCaption, kIconError);
        dialog.FocusMacField();
        return;
    }
    // Cached before anything is sent, and kept whatever happens next.
    actions.WriteCache(fields.ip, fields.mac);
    dialog.RunProgress();
    if (!actions.SendMagicPacket(fields.mac, kWakePort, fields.password)) {
        dialog.ShowMessage(kSendFailedMessage, kErrorCaption, kIconError);
        return;
    }
    actions.StartWatcher(fields.ip);
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

void RunWakeWatcher(const std::string& ip, const WatchSchedule& schedule, const ProbeStarter& start,
                    const SleepFunction& sleep, const ReportFunction& report) {
    const bool answered = WatchForAnswer(ip, schedule, start, sleep);
    report(answered ? kTurnedOnMessage : kNotTurnedOnMessage, kWakeCaption, kIconInformation);
}
