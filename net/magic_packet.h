#pragma once
// The Wake-on-LAN magic packet: six 0xFF bytes, the target's six MAC bytes sixteen
// times, and an optional six-byte SecureOn password field.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

inline constexpr std::size_t kMagicPacketSize = 102;
inline constexpr std::size_t kPasswordFieldSize = 6;
inline constexpr std::size_t kMagicPacketWithPasswordSize = kMagicPacketSize + kPasswordFieldSize;

/// Returns the 102-byte magic packet for `mac`, or the 108-byte one when `password` is
/// not empty. MAC byte i is the low 8 bits of ParseHexByte of characters 3i and 3i+1;
/// only the first 17 characters are read, separators not at all. The password field
/// holds the password's first six character codes as they stand, zero-filled.
/// `mac` should have passed IsValidMacText; a text shorter than 17 characters gives an
/// empty result rather than a packet built from bytes that are not there.
std::vector<std::uint8_t> BuildMagicPacket(std::string_view mac, std::string_view password);
