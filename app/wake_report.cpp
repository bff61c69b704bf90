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
    const auto names_device = [](const std::optional<MacBytes>& row) { return row && IsUnicastMac(*row); };
    const std::optional<MacBytes> before = seen.on_before ? seen.mac_before : std::nullopt;
    const std::optional<MacBytes> after = seen.answered ? seen.mac_at_address : std::nullopt;
    // The latest device a row names: whatever held the address before the packet may
    // have left it since.
    const std::optional<MacBytes> last = names_device(after) ? after : names_device(before) ? before : std::nullopt;
    if (seen.address && last && *last != seen.woken) {
        WakeReport other = report(WakeVerdict::kOtherMac,
                                  "A device with another MAC (" + FormatMacText(*last) + ") answers at " +
                                      FormatIpv4(*seen.address) + ".\nIt may not be the PC you woke.",
                                  MessageIcon::kWarning, kExitOtherDevice, "other-mac");
        other.other_mac = *last;
        return other;
    }
    if (seen.on_before && (!names_device(before) || *before == seen.woken)) {
        return report(WakeVerdict::kAlreadyOn, kAlreadyOnMessage, MessageIcon::kInformation, kExitDone, "already-on");
    }
    if (seen.answered) {
        return report(WakeVerdict::kTurnedOn, kTurnedOnMessage, MessageIcon::kInformation, kExitDone, "answered");
    }
    return report(WakeVerdict::kNoAnswer, kNotTurnedOnMessage, MessageIcon::kInformation, kExitNoAnswer, "no-answer");
}

std::string CacheFailedText(const PairNotRemembered& pair) {
    const std::string text = "The MAC " + pair.mac + " could not be remembered for " + pair.ip + ".";
    return pair.reason.empty() ? text : text + " The registry said: " + pair.reason + ".";
}

Message WakeReportBox(const WakeSighting& seen) {
    Message box = DecideWakeReport(seen).message;
    for (const PairNotRemembered& pair : seen.not_remembered) box.text += "\n" + CacheFailedText(pair);
    return box;
}
