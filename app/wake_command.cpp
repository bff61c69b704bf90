#include "app/wake_command.h"

#include <utility>

#include "addr/mac_text.h"
#include "addr/typed_text.h"
#include "cache/cache_value.h"

Message SentMessage(const std::string& mac) {
    return Message{"Magic packet sent to " + mac + ".", kWakeCaption, MessageIcon::kInformation};
}

WakeOutcome SendWake(const WakeFields& fields, WakeActions& actions, const std::function<void()>& before_send) {
    WakeOutcome outcome{WakeResult::kSent, Message{}, TrimBlanks(fields.ip), TrimBlanks(fields.mac), std::nullopt};
    if (!IsValidMacText(outcome.mac)) {
        outcome.result = WakeResult::kInvalidMac;
        outcome.message = Message{kInvalidMacMessage, kErrorCaption, MessageIcon::kError};
        return outcome;
    }
    // Cached before anything is sent, and kept whatever happens next. Never under the
    // default value or the last IP's name, which would overwrite what the dialog opens with.
    if (std::string reason; IsPairName(outcome.ip) && !actions.WriteCache(outcome.ip, outcome.mac, reason)) {
        outcome.not_remembered = PairNotRemembered{outcome.ip, outcome.mac, reason};
    }
    before_send();
    if (!actions.SendMagicPacket(outcome.mac, kWakePort, fields.password, outcome.ip, fields.also_to)) {
        outcome.result = WakeResult::kSendFailed;
        outcome.message = Message{kSendFailedMessage, kErrorCaption, MessageIcon::kError};
    }
    return outcome;
}

void TurnOnCommand(MainDialogView& view, WakeActions& actions) {
    const WakeFields fields{view.ReadField(DialogField::kIpAddress), view.ReadField(DialogField::kMacAddress),
                            view.ReadField(DialogField::kPassword)};
    const WakeOutcome outcome = SendWake(fields, actions, [&] {
        // Submitted, not awaited: it runs while the progress dialog does.
        const std::string ip = TrimBlanks(fields.ip);
        if (!ip.empty()) actions.ProbeBeforeSend(ip, TrimBlanks(fields.mac));
        view.RunProgress();
    });
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
            actions.StartWatcher(outcome.ip, outcome.mac, outcome.not_remembered);
        }
        break;
    }
}

ProbeOrder WatchOrder(const std::string& ip, const WatchSchedule& schedule, std::int64_t sent_ms,
                      std::function<void(const ProbeOutcome&)> done) {
    ProbeOrder order;
    order.host = ip;
    // A machine's name is fine here: the watch probes what the user typed.
    order.reading = HostReading::kAddressOrName;
    order.first_ms = sent_ms + schedule.wait_ms;
    order.end_ms = sent_ms + schedule.end_ms;
    order.attempt_ms = schedule.probe_ms;
    order.attempts = schedule.attempts;
    order.done = std::move(done);
    return order;
}
