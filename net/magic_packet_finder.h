#pragma once
// The listener's side of the magic packet: finding one in a received datagram.
// Senders differ in what they put around it (some send a header of their own first),
// so the packet may start anywhere in the datagram; and some put more than one in a
// datagram, each for another MAC.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "addr/mac_text.h"  // MacBytes

/// The short SecureOn password field; magic_packet.h has the six-byte one.
inline constexpr std::size_t kShortPasswordFieldSize = 4;

/// A magic packet found in a datagram.
struct FoundMagicPacket {
    MacBytes mac{};
    /// The SecureOn password: the bytes after the sixteenth copy, up to the next packet
    /// or the datagram's end, when there are exactly 4 or 6 of them; empty otherwise.
    std::vector<std::uint8_t> password;
};

/// Every magic packet in the `size` bytes at `data`, in their order: six 0xFF bytes
/// followed by sixteen copies of one six-byte MAC, at the first offset that holds one,
/// then again from the end of each packet found (packets never overlap).
std::vector<FoundMagicPacket> FindMagicPackets(const std::uint8_t* data, std::size_t size);
