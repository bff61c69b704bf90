#include "app/check_command.h"

#include <cstdio>

#include "addr/ip_text.h"

namespace {

std::string FormatCheckMessage(CheckResult result, const std::string& ip_text) {
    // Bounded: a text longer than the field could hold is cut, never overruns.
    char message[kCheckMessageSize] = {};
    const char* ip = ip_text.c_str();
    switch (result) {
    case CheckResult::kInvalid:
        std::snprintf(message, sizeof message, "The IP %s is not valid\nCheck it and try again.", ip);
        break;
    case CheckResult::kOn:
        std::snprintf(message, sizeof message, "The PC with IP %s is on", ip);
        break;
    case CheckResult::kOff:
        std::snprintf(message, sizeof message, "The PC with IP %s is off", ip);
        break;
    }
    return message;
}

}  // namespace

CheckOutcome CheckIp(const std::string& ip_text, const CheckProbe& probe) {
    CheckResult result = CheckResult::kInvalid;
    if (IsValidIpText(ip_text)) {
        result = probe(ip_text, kCheckLimitMs) ? CheckResult::kOn : CheckResult::kOff;
    }
    const MessageIcon icon = result == CheckResult::kOn ? MessageIcon::kInformation : MessageIcon::kError;
    return CheckOutcome{result, Message{FormatCheckMessage(result, ip_text), kCheckCaption, icon}};
}

void CheckCommand(MainDialogView& view, const CheckProbe& probe) {
    view.ShowMessage(CheckIp(view.ReadField(DialogField::kCheckIp), probe).message);
}
