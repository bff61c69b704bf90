#include "app/check_command.h"

#include <cstdio>

#include "addr/ip_text.h"
#include "addr/typed_text.h"

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
    const std::string ip = TrimBlanks(ip_text);
    CheckResult result = CheckResult::kInvalid;
    // The numbers' rule alone passes texts such as "10.77.0.2a" that name no address
    // and so could only ever read "off".
    if (IsValidIpText(ip) && ReadIpv4Octets(ip)) {
        result = probe(ip, kCheckLimitMs) ? CheckResult::kOn : CheckResult::kOff;
    }
    const MessageIcon icon = result == CheckResult::kOn ? MessageIcon::kInformation : MessageIcon::kError;
    return CheckOutcome{result, Message{FormatCheckMessage(result, ip), kCheckCaption, icon}};
}

void CheckCommand(MainDialogView& view, const CheckProbe& probe) {
    view.ShowMessage(CheckIp(view.ReadField(DialogField::kCheckIp), probe).message);
}
