#include "net/echo_packet.h"

namespace {

constexpr std::uint8_t kTypeEchoReply = 0;
constexpr std::uint8_t kTypeEchoRequest = 8;
constexpr std::uint8_t kProtocolIcmp = 1;
constexpr std::size_t kMinIpHeaderSize = 20;
// Where the probe's own value sits in the message, after the ICMP header.
constexpr std::size_t kProbeValueOffset = 8;
constexpr std::size_t kProbeValueSize = 4;
// Identifier and sequence number are both the number 1 stored least significant
// byte first, so the bytes on the wire are 0x01 0x00 for each.
constexpr std::uint8_t kIdentifierBytes[2] = {0x01, 0x00};
constexpr std::uint8_t kSequenceBytes[2] = {0x01, 0x00};

}  // namespace

std::uint16_t ComputeInternetChecksum(const std::uint8_t* data, std::size_t size) {
    // Words taken in wire order give the checksum in wire order on any host.
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < size; i += 2) {
        sum += static_cast<std::uint32_t>(data[i]) << 8 | data[i + 1];
        // Fold as we go, so no length can carry out of 32 bits.
        sum = (sum & 0xFFFFu) + (sum >> 16);
    }
    if (i < size) sum += static_cast<std::uint32_t>(data[i]) << 8;
    sum = (sum & 0xFFFFu) + (sum >> 16);
    sum += sum >> 16;
    return static_cast<std::uint16_t>(~sum & 0xFFFFu);
}

EchoRequest BuildEchoRequest(std::uint32_t tick_count, std::uint32_t probe_value) {
    EchoRequest m{};  // the checksum starts at zero
    m[0] = kTypeEchoRequest;
    m[1] = 0;
    m[4] = kIdentifierBytes[0];
    m[5] = kIdentifierBytes[1];
    m[6] = kSequenceBytes[0];
    m[7] = kSequenceBytes[1];
    for (std::size_t b = 0; b < kProbeValueSize; ++b) {
        m[kProbeValueOffset + b] = static_cast<std::uint8_t>(probe_value >> (8 * b));
    }
    for (int b = 0; b < 4; ++b) m[12 + b] = static_cast<std::uint8_t>(tick_count >> (8 * b));
    for (std::size_t i = 0; i < 32; ++i) m[16 + i] = static_cast<std::uint8_t>(0x20 + i);
    const std::uint16_t checksum = ComputeInternetChecksum(m.data(), m.size());
    m[2] = static_cast<std::uint8_t>(checksum >> 8);
    m[3] = static_cast<std::uint8_t>(checksum & 0xFF);
    return m;
}

bool IsOurEchoReply(const std::uint8_t* datagram, std::size_t size, const Ipv4Bytes& probed,
                    std::uint32_t probe_value) {
    if (datagram == nullptr || size < kMinIpHeaderSize || size > kReceiveBufferSize) return false;
    if ((datagram[0] >> 4) != 4) return false;
    const std::size_t ip_header_size = static_cast<std::size_t>(datagram[0] & 0x0F) * 4;
    if (ip_header_size < kMinIpHeaderSize || size < ip_header_size + kProbeValueOffset + kProbeValueSize) {
        return false;
    }
    if (datagram[9] != kProtocolIcmp) return false;
    for (std::size_t b = 0; b < probed.size(); ++b) {
        if (datagram[12 + b] != probed[b]) return false;
    }
    const std::uint8_t* icmp = datagram + ip_header_size;
    // A "destination unreachable" quoting our request carries our identifier inside
    // its quote, never at these offsets; the type rules it out first anyway.
    if (icmp[0] != kTypeEchoReply || icmp[4] != kIdentifierBytes[0] || icmp[5] != kIdentifierBytes[1] ||
        icmp[6] != kSequenceBytes[0] || icmp[7] != kSequenceBytes[1]) {
        return false;
    }
    for (std::size_t b = 0; b < kProbeValueSize; ++b) {
        if (icmp[kProbeValueOffset + b] != static_cast<std::uint8_t>(probe_value >> (8 * b))) return false;
    }
    return true;
}
