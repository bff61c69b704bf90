#pragma once
// Finding the MAC address of an IPv4 address. Three sources are asked in a fixed
// order and the first that answers wins: the local ARP table, an ARP request, the
// address cache. The order, the hand-over and what the MAC field and the "Get MAC"
// command show are written here over small interfaces, so that a native test can
// check them with fakes; mac_resolution-win32.cpp adapts the IP helper calls, the
// registry cache and the main dialog to them.
#include <cstdint>
#include <functional>
#include <string>

#include "addr/mac_text.h"
#include "net/arp_sources.h"

/// The address cache, where the wake command remembers IP-to-MAC pairs.
class MacCacheSource {
public:
    virtual ~MacCacheSource() = default;
    /// The text stored under `ip_text`; empty when there is none.
    virtual std::string Read(const std::string& ip_text) = 0;
};

/// Returns the MAC text for the IP text, or the empty text when no source knows it.
/// `target` is what inet_addr made of `ip_text` (0xFFFFFFFF for unreadable text,
/// looked for like any other address). The ARP table comes first: the first row, in
/// table order, for the target whose physical address is not all zero. Then the ARP
/// request, whose all-zero answer counts as none. Last the cache, asked under the IP
/// text as typed; its text is returned unchanged, not checked as a MAC text. A source
/// is asked only when the ones before it had nothing.
std::string FindMacText(const std::string& ip_text, std::uint32_t target, ArpTableSource& table,
                        ArpRequestSource& request, MacCacheSource& cache);

/// The main dialog's MAC field.
class MacField {
public:
    virtual ~MacField() = default;
    virtual void SetMacField(const std::string& text) = 0;
    /// Gives the MAC field the keyboard focus.
    virtual void FocusMacField() = 0;
};

/// Shows what FindMacText found: the text itself, and true; or, when it is empty, the
/// zero MAC text with the focus moved to the field, and false.
bool ShowFoundMac(MacField& field, const std::string& found);

constexpr char kMacNotFoundText[] = "Can't figure out MAC from IP.\nTry to write the MAC directly.";
constexpr char kMacNotFoundCaption[] = "Error MAC no encontrada";
/// MB_ICONERROR.
constexpr unsigned kMacNotFoundIcon = 16;

/// What the "Get MAC" command needs of the main dialog.
class GetMacDialog {
public:
    virtual ~GetMacDialog() = default;
    /// The IP field as typed (the command reads at most 15 characters).
    virtual std::string ReadIpField() = 0;
    /// Shows a modal message box with one OK button, owned by the dialog.
    virtual void ShowMessage(const std::string& text, const char* caption, unsigned icon) = 0;
};

/// Resolves the IP text into the MAC field; true when a source answered.
using ResolveMac = std::function<bool(std::string ip_text)>;

/// "Get MAC": reads the IP field, resolves it and, when nothing was found, shows
/// kMacNotFoundText with caption kMacNotFoundCaption and the error icon. Success
/// shows nothing. The IP text is neither validated nor remembered.
void RunGetMacCommand(GetMacDialog& dialog, const ResolveMac& resolve);
