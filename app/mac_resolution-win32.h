#pragma once
// IP helper, registry and dialog side of MAC resolution and of the "Get MAC" button.
#include <windows.h>

#include <string>

#include "app/mac_resolution.h"

/// The address cache in the registry.
class RegistryMacCache final : public MacCacheSource {
public:
    std::string Read(const std::string& ip_text) override;
};

/// Finds the MAC address of `ip_text` (read with inet_addr, not validated) from the
/// ARP table, an ARP request or the address cache, and writes it into the MAC field
/// (IDC_MAC_ADDRESS) of `dialog`; when none knows it, writes the zero MAC text there
/// and gives that field the focus. True when a source answered. Shows no message.
bool ResolveMacFromIp(HWND dialog, std::string ip_text);

/// The main dialog's "Get MAC" button: resolves the IP field (IDC_IP_ADDRESS, at most
/// 15 characters) and, when nothing was found, says so in a message box owned by
/// `dialog`. Holds the dialog's thread until the resolution is done.
void GetMacCommand(HWND dialog);
