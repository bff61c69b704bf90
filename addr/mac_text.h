#pragma once
// MAC address text as the user types it: six two-digit hexadecimal numbers with one
// separator character between them ("00-1A-2B-3C-4D-5E"). Positions p with p % 3 == 2
// are separators and may hold any character; the others are digit positions.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// The text that stands for "no MAC address known"; never accepted as a wake target.
inline constexpr std::string_view kZeroMacText = "00-00-00-00-00-00";

/// Length of a MAC text as the program writes it and as the MAC field holds it.
inline constexpr std::size_t kMacTextLength = 17;

/// True when `text` may be used as a wake target: at least 17 characters, not exactly
/// the zero MAC text, and a hexadecimal digit (either case) at every digit position up
/// to the end of the text, however long it is. Separator positions are never examined.
bool IsValidMacText(std::string_view text);

/// Returns the value of the hexadecimal number at the start of `piece`, read as strtol
/// does in base 16 in the "C" locale but looking at no more than the first six
/// characters: leading white space (space, \t, \n, \v, \f, \r), then an optional sign,
/// then an optional "0x"/"0X" prefix, then digits up to the first non-digit.
/// Returns 0 when there is no digit.
std::int32_t ParseHexByte(std::string_view piece);

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
