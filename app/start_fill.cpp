#include "app/start_fill.h"

#include "addr/mac_text.h"
#include "addr/typed_text.h"

void FillMainDialog(MainDialogView& view, const std::string& last_ip, const FindMac& find) {
    const std::string ip = TrimBlanks(last_ip);
    if (!ip.empty()) {
        // Put back as it was typed; nothing validates it at start-up.
        view.SetField(DialogField::kIpAddress, ip);
        view.SetField(DialogField::kCheckIp, ip);
        // Silent: what it writes into the MAC field stands, and when it finds nothing
        // the zero MAC and the focus on that field say enough.
        ShowMacInField(view, DecideMac(find(ip)));
    } else {
        view.SetField(DialogField::kIpAddress, kDefaultIp);
        view.SetField(DialogField::kMacAddress, std::string(kZeroMacText));
        view.SetField(DialogField::kCheckIp, kDefaultIp);
    }
}
