#include "app/wake_report.h"

#include "app/command_line.h"
#include "app/wake_command.h"

bool IsUnicastMac(const MacBytes& mac) { return !IsZeroMac(mac) && !IsGroupMac(mac); }

std::string FormatIpv4(const Ipv4Bytes& address) {
    return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
           std::to_string(address[3]);
}

WakeReport DecideWakeReport(const WakeSighting& seen) {
    const auto report = [](WakeVerdict verdict, std::string text, MessageIcon icon, int code, const char* token) {
        return WakeReport{verdict, Message{std::move(text), kWakeCaption, icon}, code, token};
    };
    if (seen.new_address) {
        return report(WakeVerdict::kNewAddress, "The PC has been turned on at " + FormatIpv4(*seen.new_address) + ".",
                      MessageIcon::kInformation, kExitDone, "new-address");
    }
    const bool heard = seen.on_before || seen.answered;
    if (heard && seen.address && seen.mac_at_address && IsUnicastMac(*seen.mac_at_address) &&
        *seen.mac_at_address != seen.woken) {
        return report(WakeVerdict::kOtherMac,
                      "A device with another MAC (" + FormatMacText(*seen.mac_at_address) + ") answers at " +
                          FormatIpv4(*seen.address) + ".\nIt may not be the PC you woke.",
                      MessageIcon::kWarning, kExitOtherDevice, "other-mac");
    }
    if (seen.on_before) {
        return report(WakeVerdict::kAlreadyOn, kAlreadyOnMessage, MessageIcon::kInformation, kExitDone, "already-on");
    }
    if (seen.answered) {
        return report(WakeVerdict::kTurnedOn, kTurnedOnMessage, MessageIcon::kInformation, kExitDone, "answered");
    }
    return report(WakeVerdict::kNoAnswer, kNotTurnedOnMessage, MessageIcon::kInformation, kExitNoAnswer, "no-answer");
}
