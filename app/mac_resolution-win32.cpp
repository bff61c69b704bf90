#include "app/mac_resolution-win32.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

#include "cache/registry_cache-win32.h"
#include "net/arp_sources-win32.h"
#include "common/dialog_fields-win32.h"
#include "common/unique_handle.h"
#include "resource.h"

static_assert(kMacNotFoundIcon == MB_ICONERROR, "error icon");

namespace {

class MainDialogMacField final : public MacField {
public:
    explicit MainDialogMacField(HWND dialog) : dialog_(dialog) {}
    void SetMacField(const std::string& text) override { SetDlgItemTextA(dialog_, IDC_MAC_ADDRESS, text.c_str()); }
    void FocusMacField() override { SetFocus(GetDlgItem(dialog_, IDC_MAC_ADDRESS)); }

private:
    HWND dialog_;
};

class MainDialogGetMac final : public GetMacDialog {
public:
    explicit MainDialogGetMac(HWND dialog) : dialog_(dialog) {}

    std::string ReadIpField() override {
        return DialogFieldText(dialog_, IDC_IP_ADDRESS, 15);
    }

    void ShowMessage(const std::string& text, const char* caption, unsigned icon) override {
        ShowOwnedMessage(dialog_, text, caption, icon);
    }

private:
    HWND dialog_;
};

}  // namespace

std::string RegistryMacCache::Read(const std::string& ip_text) { return ReadCacheValue(ip_text); }

bool ResolveMacFromIp(HWND dialog, std::string ip_text) {
    // inet_addr cannot tell 255.255.255.255 from unreadable text: both look up the
    // broadcast address.
    const std::uint32_t target = inet_addr(ip_text.c_str());
    IpHelperArpTable table;
    IpHelperArpRequest request;
    RegistryMacCache cache;
    MainDialogMacField field(dialog);
    return ShowFoundMac(field, FindMacText(ip_text, target, table, request, cache));
}

void GetMacCommand(HWND dialog) {
    MainDialogGetMac get_mac(dialog);
    RunGetMacCommand(get_mac, [dialog](std::string ip_text) { return ResolveMacFromIp(dialog, std::move(ip_text)); });
}
