#pragma once
// IP helper, registry and dialog side of MAC resolution and of the "Get MAC" button.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "net/mac_resolution.h"

/// GetIpNetTable in the platform's order (not sorted). A table that cannot be read,
/// or whose buffer cannot be had, gives no rows.
class IpHelperArpTable final : public ArpTableSource {
public:
    std::vector<ArpRow> ReadRows() override;
};

/// SendARP, looked up at run time in "iphlpapi.dll"; the library is freed again
/// before the call returns. A missing library or entry point gives no answer. Blocks
/// while the platform waits for a reply.
class IpHelperArpRequest final : public ArpRequestSource {
public:
    std::optional<MacBytes> Request(std::uint32_t target) override;
};

/// The address cache in the registry.
class RegistryMacCache final : public MacCacheSource {
public:
    std::string Read(const std::string& ip_text) override;
};

/// Finds the MAC address of `ip_text` (not validated) from the ARP table, an ARP
/// request or the address cache (only the cache when ReadIpv4Octets reads no address), and writes it into the MAC field
/// (IDC_MAC_ADDRESS) of `dialog`; when none knows it, writes the zero MAC text there
/// and gives that field the focus. True when a source answered. Shows no message.
bool ResolveMacFromIp(HWND dialog, std::string ip_text);

/// The main dialog's "Get MAC" button: resolves the IP field (IDC_IP_ADDRESS, at most
/// 15 characters) and, when nothing was found, says so in a message box owned by
/// `dialog`. Holds the dialog's thread until the resolution is done.
void GetMacCommand(HWND dialog);
