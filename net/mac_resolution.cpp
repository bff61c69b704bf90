#include "net/mac_resolution.h"

#include <algorithm>
#include <cstdio>

#include "addr/mac_text.h"

std::string FormatMacText(const MacBytes& bytes) {
    char text[kMacTextLength + 1] = {};
    std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", bytes[0], bytes[1], bytes[2], bytes[3],
                  bytes[4], bytes[5]);
    return text;
}

bool IsZeroMac(const MacBytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

bool IsGroupMac(const MacBytes& bytes) { return (bytes[0] & 0x01) != 0; }

namespace {

bool NamesOneMachine(const MacBytes& bytes) { return !IsZeroMac(bytes) && !IsGroupMac(bytes); }

}  // namespace

std::string FindMacText(const std::string& ip_text, std::uint32_t target, ArpTableSource& table,
                        ArpRequestSource& request, MacCacheSource& cache) {
    // An all-zero or group row must not end the search: reporting it as found would
    // fill the MAC field with a text that wakes nothing, and the request and the cache,
    // which may well know the address, would never be asked.
    for (const ArpRow& row : table.ReadRows()) {
        if (row.address == target && NamesOneMachine(row.physical)) return FormatMacText(row.physical);
    }
    if (const std::optional<MacBytes> answer = request.Request(target); answer && NamesOneMachine(*answer)) {
        return FormatMacText(*answer);
    }
    return cache.Read(ip_text);
}

bool ShowFoundMac(MacField& field, const std::string& found) {
    if (found.empty()) {
        field.SetMacField(std::string(kZeroMacText));
        field.FocusMacField();
        return false;
    }
    field.SetMacField(found);
    return true;
}

void RunGetMacCommand(GetMacDialog& dialog, const ResolveMac& resolve) {
    if (!resolve(dialog.ReadIpField())) {
        dialog.ShowMessage(kMacNotFoundText, kMacNotFoundCaption, kMacNotFoundIcon);
    }
}
