#pragma once
// Finding the MAC address of an IPv4 address. Three sources are asked in a fixed
// order and the first that answers wins: the local ARP table, an ARP request, the
// address cache. The order, the hand-over and what the MAC field and the "Get MAC"
// command show are written here over small interfaces, so that a native test can
// check them with fakes; mac_resolution-win32.cpp adapts the IP helper calls, the
// registry cache and the main dialog to them.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

/// The six bytes of a hardware address, byte 0 first on the wire.
using MacBytes = std::array<std::uint8_t, 6>;

/// "%02X-%02X-%02X-%02X-%02X-%02X" of bytes 0 to 5: 17 characters, upper case.
std::string FormatMacText(const MacBytes& bytes);

/// True when all six bytes are zero: an ARP entry that was never completed, or a
/// row Windows and Wine list for a multicast address. Such an answer knows nothing.
bool IsZeroMac(const MacBytes& bytes);

/// True when the lowest bit of byte 0 is set: the broadcast address or a multicast
/// group, which no single machine answers to and no magic packet can wake.
bool IsGroupMac(const MacBytes& bytes);

/// One row of the ARP table: the IPv4 address in network byte order, as inet_addr
/// gives it, and the first six bytes of the physical address.
struct ArpRow {
    std::uint32_t address = 0;
    MacBytes physical{};
};

/// The local computer's ARP table.
class ArpTableSource {
public:
    virtual ~ArpTableSource() = default;
    /// The rows in the platform's order; empty when the table cannot be read.
    virtual std::vector<ArpRow> ReadRows() = 0;
};

/// An ARP request sent on the local network.
class ArpRequestSource {
public:
    virtual ~ArpRequestSource() = default;
    /// The address that answered for `target` (network byte order), or nothing when
    /// the request failed or cannot be made at all.
    virtual std::optional<MacBytes> Request(std::uint32_t target) = 0;
};

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
/// table order, for the target whose physical address is neither all zero nor a group
/// address. Then the ARP request, whose all-zero or group answer counts as none. Last the cache, asked under the IP
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
