#pragma once
// The listener's side of the magic packet: finding one in a received datagram.
// Senders differ in what they put around it (some send a header of their own first),
// so the packet may start anywhere in the datagram.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "addr/mac_text.h"  // MacBytes

/// The short SecureOn password field; magic_packet.h has the six-byte one.
inline constexpr std::size_t kShortPasswordFieldSize = 4;

/// A magic packet found in a datagram.
struct FoundMagicPacket {
    MacBytes mac{};
    /// The SecureOn password: the bytes after the sixteenth copy when exactly 4 or 6
    /// of them end the datagram; empty otherwise.
    std::vector<std::uint8_t> password;
};

/// The magic packet at the first offset of the `size` bytes at `data` that holds six
/// 0xFF bytes followed by sixteen copies of one six-byte MAC; nothing when no offset does.
std::optional<FoundMagicPacket> FindMagicPacket(const std::uint8_t* data, std::size_t size);
