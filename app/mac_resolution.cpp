#include "app/mac_resolution.h"

#include "addr/mac_text.h"
#include "addr/typed_text.h"

namespace {

bool NamesOneMachine(const HardwareAddress& physical) {
    return physical.length == physical.bytes.size() && !IsZeroMac(physical.bytes) && !IsGroupMac(physical.bytes);
}

}  // namespace

std::string FindMacText(const std::string& ip_text, std::optional<std::uint32_t> target, ArpTableSource& table,
                        ArpRequestSource& request, MacCacheSource& cache) {
    // A text that names no address has no row and nobody to ask on the wire.
    if (!target) return TrimBlanks(cache.Read(ip_text));
    // An all-zero or group row must not end the search: reporting it as found would
    // fill the MAC field with a text that wakes nothing, and the request and the cache,
    // which may well know the address, would never be asked.
    for (const ArpRow& row : table.ReadRows()) {
        if (row.address == *target && NamesOneMachine(row.physical)) return FormatMacText(row.physical.bytes);
    }
    if (const std::optional<HardwareAddress> answer = request.Request(*target); answer && NamesOneMachine(*answer)) {
        return FormatMacText(answer->bytes);
    }
    return TrimBlanks(cache.Read(ip_text));
}

MacOutcome DecideMac(const std::string& found) {
    if (found.empty()) {
        return MacOutcome{MacResult::kNotFound, std::string(kZeroMacText),
                          Message{kMacNotFoundText, kMacNotFoundCaption, MessageIcon::kError}};
    }
    return MacOutcome{MacResult::kFound, found, Message{}};
}

void ShowMacInField(MainDialogView& view, const MacOutcome& outcome) {
    view.SetField(DialogField::kMacAddress, outcome.mac_text);
    if (outcome.result == MacResult::kNotFound) view.FocusField(DialogField::kMacAddress);
}

void GetMacCommand(MainDialogView& view, const FindMac& find) {
    const MacOutcome outcome = DecideMac(find(TrimBlanks(view.ReadField(DialogField::kIpAddress))));
    ShowMacInField(view, outcome);
    if (outcome.result == MacResult::kNotFound) view.ShowMessage(outcome.message);
}
