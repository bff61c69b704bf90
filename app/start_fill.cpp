#include "app/start_fill-win32.h"

#include <string>

#include "addr/mac_text.h"
#include "cache/registry_cache-win32.h"
#include "net/adapter_list-win32.h"
#include "app/mac_resolution-win32.h"
#include "resource.h"

namespace {

// The address cache entry that holds the IP address typed last.
constexpr char kLastIpName[] = "UltimaIP";
constexpr char kDefaultIp[] = "192.168.100.1";

}  // namespace

void FillMainDialog(HWND dialog) {
    const std::string last_ip = ReadCacheValue(kLastIpName);
    if (!last_ip.empty()) {
        // Put back as it was typed; nothing validates it at start-up.
        SetDlgItemTextA(dialog, IDC_IP_ADDRESS, last_ip.c_str());
        SetDlgItemTextA(dialog, IDC_CHECK_IP, last_ip.c_str());
        // Silent: what it writes into the MAC field stands, and when it finds nothing
        // the zero MAC and the focus on that field say enough.
        ResolveMacFromIp(dialog, last_ip);
    } else {
        SetDlgItemTextA(dialog, IDC_IP_ADDRESS, kDefaultIp);
        SetDlgItemTextA(dialog, IDC_MAC_ADDRESS, std::string(kZeroMacText).c_str());
        SetDlgItemTextA(dialog, IDC_CHECK_IP, kDefaultIp);
    }
    ListLocalAdapters(dialog);
}

void SaveLastIp(HWND dialog) {
    // The field admits 15 characters; the buffer takes up to 16.
    char ip_text[17] = {};
    GetDlgItemTextA(dialog, IDC_IP_ADDRESS, ip_text, sizeof ip_text);
    // Saved also when empty, so that the next start shows the defaults.
    WriteCacheValue(kLastIpName, ip_text);
}
