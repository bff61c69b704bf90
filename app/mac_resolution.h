#pragma once
// Finding the MAC address of an IPv4 address, and the "Get MAC" command. Three
// sources are asked in a fixed order and the first that answers wins: the local ARP
// table, an ARP request, the address cache. The order, the hand-over and what the MAC
// field and the command show are written here over the sources' interfaces and the
// main-dialog view, so that a native test can check them with fakes;
// mac_resolution-win32.cpp puts the IP helper and the registry cache behind them.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "addr/mac_text.h"
#include "app/main_dialog_view.h"
#include "net/arp_sources.h"

/// The address cache, where the wake command remembers IP-to-MAC pairs.
class MacCacheSource {
public:
    virtual ~MacCacheSource() = default;
    /// The text stored under `ip_text`; empty when there is none.
    virtual std::string Read(const std::string& ip_text) = 0;
};

/// Returns the MAC text for the IP text, or the empty text when no source knows it.
/// `target` is the address ReadIpv4Octets reads from `ip_text` (network byte order),
/// nothing when it reads none. The ARP table comes first: the first row, in table
/// order, for the target whose physical address is six bytes long and neither all zero
/// nor a group address. Then the ARP request, whose answer of another length, all zero
/// or a group address counts as none. Last the cache, asked under the IP text as given;
/// its text is returned without the spaces and tabs around it, not checked as a MAC
/// text. A source is asked only when the ones before it had nothing;
/// without a target only the cache is asked.
std::string FindMacText(const std::string& ip_text, std::optional<std::uint32_t> target, ArpTableSource& table,
                        ArpRequestSource& request, MacCacheSource& cache);

constexpr char kMacNotFoundText[] = "Can't figure out MAC from IP.\nTry to write the MAC directly.";
constexpr char kMacNotFoundCaption[] = "Error MAC no encontrada";

enum class MacResult { kFound, kNotFound };

/// What a resolution means for the MAC field and the user.
struct MacOutcome {
    MacResult result;
    /// What the MAC field shows: the text found, or the zero MAC text.
    std::string mac_text;
    /// Only when nothing was found: kMacNotFoundText, its caption and the error icon.
    Message message;
};

/// The outcome of FindMacText's answer `found`, the empty text meaning that no source
/// knew the address.
MacOutcome DecideMac(const std::string& found);

/// Writes the outcome's text into the MAC field and, when nothing was found, gives that
/// field the focus. Shows no message.
void ShowMacInField(MainDialogView& view, const MacOutcome& outcome);

/// Finds the MAC text of an IP text as typed; empty when no source knows it.
using FindMac = std::function<std::string(const std::string& ip_text)>;

/// "Get MAC": finds the MAC of the IP field (without the spaces and tabs around it),
/// shows it in the MAC field and, when nothing was found, the "not found" message.
/// Success shows no message. The IP text is neither validated nor remembered.
void GetMacCommand(MainDialogView& view, const FindMac& find);
