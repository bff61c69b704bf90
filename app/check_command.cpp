#include "app/check_command.h"

#include <cstdio>

#include "addr/ip_text.h"

namespace {

enum class CheckOutcome { kInvalid, kOn, kOff };

std::string FormatCheckMessage(CheckOutcome outcome, const std::string& ip_text) {
    // Bounded: a text longer than the field could hold is cut, never overruns.
    char message[kCheckMessageSize] = {};
    const char* ip = ip_text.c_str();
    switch (outcome) {
    case CheckOutcome::kInvalid:
        std::snprintf(message, sizeof message, "The IP %s is not valid\nCheck it and try again.", ip);
        break;
    case CheckOutcome::kOn:
        std::snprintf(message, sizeof message, "The PC with IP %s is on", ip);
        break;
    case CheckOutcome::kOff:
        std::snprintf(message, sizeof message, "The PC with IP %s is off", ip);
        break;
    }
    return message;
}

}  // namespace

void RunCheckCommand(CheckDialog& dialog, const CheckProbe& probe) {
    const std::string ip_text = dialog.ReadCheckField();
    CheckOutcome outcome = CheckOutcome::kInvalid;
    if (IsValidIpText(ip_text)) {
        outcome = probe(ip_text, kCheckLimitMs) ? CheckOutcome::kOn : CheckOutcome::kOff;
    }
    const unsigned icon = outcome == CheckOutcome::kOn ? kIconInformation : kIconError;
    dialog.ShowMessage(FormatCheckMessage(outcome, ip_text), kCheckCaption, icon);
}
