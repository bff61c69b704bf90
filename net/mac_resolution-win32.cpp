#include "net/mac_resolution-win32.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

#include "addr/ip_text.h"
#include "cache/registry_cache-win32.h"
#include "common/dialog_fields-win32.h"
#include "common/unique_handle.h"
#include "resource.h"

static_assert(kMacNotFoundIcon == MB_ICONERROR, "error icon");

namespace {

using UniqueLibrary = UniqueHandle<NullIsNone<HMODULE, FreeLibrary>>;

// The table may grow between the size query and the fetch; ask again a few times.
constexpr int kTableFetchAttempts = 4;

std::vector<ArpRow> CopyRows(const std::vector<BYTE>& buffer) {
    const auto* table = reinterpret_cast<const MIB_IPNETTABLE*>(buffer.data());
    constexpr std::size_t kRowsOffset = offsetof(MIB_IPNETTABLE, table);
    // Never trust the count beyond the rows the buffer actually holds.
    const std::size_t room = (buffer.size() - kRowsOffset) / sizeof(MIB_IPNETROW);
    const std::size_t count = std::min<std::size_t>(table->dwNumEntries, room);
    std::vector<ArpRow> rows(count);
    for (std::size_t i = 0; i < count; ++i) {
        const MIB_IPNETROW& row = table->table[i];
        rows[i].address = row.dwAddr;
        std::memcpy(rows[i].physical.data(), row.bPhysAddr, rows[i].physical.size());
    }
    return rows;
}

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

std::vector<ArpRow> IpHelperArpTable::ReadRows() {
    try {
        ULONG size = 0;
        GetIpNetTable(nullptr, &size, FALSE);
        std::vector<BYTE> buffer;
        DWORD result = ERROR_INSUFFICIENT_BUFFER;
        for (int attempt = 0; attempt < kTableFetchAttempts && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
            // At least a header and one row, so that the count can always be read.
            buffer.assign(std::max<std::size_t>(size, sizeof(MIB_IPNETTABLE)), 0);
            size = static_cast<ULONG>(buffer.size());
            result = GetIpNetTable(reinterpret_cast<MIB_IPNETTABLE*>(buffer.data()), &size, FALSE);
        }
        if (result != NO_ERROR) return {};
        return CopyRows(buffer);
    } catch (const std::bad_alloc&) {
        // A table too large to hold is a source with nothing to say.
        return {};
    }
}

std::optional<MacBytes> IpHelperArpRequest::Request(std::uint32_t target) {
    UniqueLibrary library(LoadLibraryA("iphlpapi.dll"));
    if (!library) return std::nullopt;
    const FARPROC found = GetProcAddress(library.get(), "SendARP");
    if (!found) return std::nullopt;
    // Through void(*)(), the one function type a cast to another does not warn about.
    const auto send_arp = reinterpret_cast<decltype(&SendARP)>(reinterpret_cast<void (*)()>(found));
    BYTE reply[8] = {};
    ULONG length = sizeof reply;
    if (send_arp(target, 0, reply, &length) != NO_ERROR) return std::nullopt;
    MacBytes mac;
    std::memcpy(mac.data(), reply, mac.size());
    return mac;
}

std::string RegistryMacCache::Read(const std::string& ip_text) { return ReadCacheValue(ip_text); }

bool ResolveMacFromIp(HWND dialog, std::string ip_text) {
    // Not inet_addr: it reads "010" as octal 8 and fails into 255.255.255.255.
    std::optional<std::uint32_t> target;
    if (const std::optional<Ipv4Octets> octets = ReadIpv4Octets(ip_text)) {
        std::uint32_t in_network_order = 0;
        std::memcpy(&in_network_order, octets->data(), sizeof in_network_order);
        target = in_network_order;
    }
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
