#pragma once
// The ICMP echo request a probe sends, its checksum, and the test that tells our
// echo reply apart from every other ICMP message a raw socket hands us.
#include <array>
#include <cstddef>
#include <cstdint>

#include "addr/ip_text.h"  // Ipv4Bytes

constexpr std::size_t kEchoRequestSize = 48;
/// ICMP header of an echo message: type, code, checksum, identifier, sequence number.
constexpr std::size_t kIcmpHeaderSize = 8;
/// What follows the ICMP header of our request (filler, time stamp, data); the
/// IcmpSendEcho fallback sends these same bytes.
constexpr std::size_t kEchoPayloadSize = kEchoRequestSize - kIcmpHeaderSize;
/// Receive buffer of the raw socket; a datagram must fit it whole to be judged.
constexpr std::size_t kReceiveBufferSize = 324;

using EchoRequest = std::array<std::uint8_t, kEchoRequestSize>;

/// Returns the RFC 1071 Internet checksum of `size` bytes, as the 16-bit value whose
/// high byte goes first on the wire. An odd last byte is padded with a zero byte.
std::uint16_t ComputeInternetChecksum(const std::uint8_t* data, std::size_t size);

/// Returns the 48-byte echo request: type 8, code 0, identifier and sequence number
/// each the bytes 0x01 0x00, `probe_value` least significant byte first at bytes 8-11
/// (the filler the message leaves free), `tick_count` likewise at bytes 12-15, the
/// characters 0x20..0x3F at 16-47, and the checksum over all 48 bytes at 2-3.
EchoRequest BuildEchoRequest(std::uint32_t tick_count, std::uint32_t probe_value);

/// True only when `datagram` (`size` bytes as a raw ICMP socket returns them, IP header
/// first) is an IPv4 ICMP echo reply (type 0) whose source is `probed`, whose identifier
/// and sequence number are ours and which echoes `probe_value` at bytes 8-11: a late
/// reply to an earlier probe or the reply to another one carries another value. A
/// datagram larger than the receive buffer, or too short for its own IP header plus 12
/// ICMP bytes, is never ours.
bool IsOurEchoReply(const std::uint8_t* datagram, std::size_t size, const Ipv4Bytes& probed,
                    std::uint32_t probe_value);
