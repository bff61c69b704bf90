#pragma once
// IPv4 address text as typed in the Check field. The rule is arithmetic only: the text
// is cut at its dots and every octet text is turned into a number whatever characters
// it holds; only the count of dots and the ranges of the numbers decide.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

/// True when `text` splits into four octets (exactly three dots) whose values pass, in
/// this order: first in 1..126, 128..191 or 192..223; fourth not 0 and below 255; third
/// at most 255; second at most 255. All comparisons are signed, so negative second,
/// third and fourth values pass.
bool IsValidIpText(std::string_view text);

/// Cuts `text` at its dots into four octet texts and converts each with
/// DecimalTextToInt. Returns true only when the text holds exactly three dots; only then
/// are the four outputs written. Characters after a fourth dot are dropped (but the
/// fourth dot itself already makes the split fail).
bool SplitIpText(std::string_view text, std::int32_t& first, std::int32_t& second,
                 std::int32_t& third, std::int32_t& fourth);

/// Sets `value` to the sum over the characters c of `text` of (c - 48) * 10^k, k counted
/// from the right, where c is the character code read as a signed 8-bit number. No
/// character is rejected; the result wraps modulo 2^32 and is read as signed 32-bit.
void DecimalTextToInt(std::string_view text, std::int32_t& value);

/// The four bytes of an IPv4 address in wire order (192.168.1.10 is {192, 168, 1, 10}).
using Ipv4Bytes = std::array<std::uint8_t, 4>;

/// The two bytes of a port in wire order (40000 is {0x9C, 0x40}).
using PortBytes = std::array<std::uint8_t, 2>;
inline PortBytes ToPortBytes(std::uint16_t port) {
    return {static_cast<std::uint8_t>(port >> 8), static_cast<std::uint8_t>(port & 0xFF)};
}

/// The address a text names when it is four dot-separated runs of one to three decimal
/// digits, each at most 255, read in decimal ("010" is 10, never octal 8). Nothing for
/// any other text: signs, spaces, letters, empty runs, a fourth dot, a run of four
/// digits, a value above 255. Unlike IsValidIpText it judges the characters, not only
/// the numbers; it is what turns a typed text into an address, never a name resolver.
std::optional<Ipv4Bytes> ReadIpv4Octets(std::string_view text);
