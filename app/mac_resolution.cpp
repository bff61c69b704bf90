#include "app/mac_resolution.h"

#include "addr/mac_text.h"

std::string FindMacText(const std::string& ip_text, std::uint32_t target, ArpTableSource& table,
                        ArpRequestSource& request, MacCacheSource& cache) {
    // An all-zero row must not end the search: reporting it as found would fill the
    // MAC field with a text the wake command refuses, and the request and the cache,
    // which may well know the address, would never be asked.
    for (const ArpRow& row : table.ReadRows()) {
        if (row.address == target && !IsZeroMac(row.physical)) return FormatMacText(row.physical);
    }
    if (const std::optional<MacBytes> answer = request.Request(target); answer && !IsZeroMac(*answer)) {
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
