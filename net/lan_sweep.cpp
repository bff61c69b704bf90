#include "net/lan_sweep.h"

#include <cstring>

namespace {

std::uint32_t ToHost(const Ipv4Bytes& bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

Ipv4Bytes FromHost(std::uint32_t value) {
    return Ipv4Bytes{static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                     static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

bool IsUsable(const MacBytes& mac, std::uint32_t length) { return length == 6 && !IsZeroMac(mac) && !IsGroupMac(mac); }

}  // namespace

Ipv4Bytes ArpRowAddress(const ArpRow& row) {
    // Network byte order in memory, as inet_addr gives it, whatever the host's order.
    Ipv4Bytes bytes;
    std::memcpy(bytes.data(), &row.address, bytes.size());
    return bytes;
}

std::vector<Ipv4Bytes> SweepAddresses(const LocalIpv4Address& lan, const Ipv4Bytes& skip,
                                      const std::vector<LocalIpv4Address>& locals) {
    std::vector<Ipv4Bytes> addresses;
    if (!HasLan(lan)) return addresses;
    const std::uint32_t mask = ToHost(lan.mask);
    const std::uint32_t hosts = ~mask - 1;  // unsigned: ~mask >= 3 here
    if (hosts > kSweepMostAddresses) return addresses;
    const std::uint32_t network = ToHost(lan.address) & mask;
    for (std::uint32_t n = network + 1; n <= network + hosts; ++n) {
        const Ipv4Bytes address = FromHost(n);
        if (address == skip) continue;
        bool own = false;
        for (const LocalIpv4Address& local : locals) own = own || local.address == address;
        if (!own) addresses.push_back(address);
    }
    return addresses;
}

std::int64_t SweepStartMs(std::size_t index, std::int64_t start_ms, const SweepPace& pace) {
    const std::size_t at_once = pace.at_once > 0 ? static_cast<std::size_t>(pace.at_once) : 1;
    return start_ms + static_cast<std::int64_t>(index / at_once) * pace.step_ms;
}

std::optional<MacBytes> ArpMacOf(const std::vector<ArpRow>& rows, const Ipv4Bytes& address) {
    for (const ArpRow& row : rows) {
        if (ArpRowAddress(row) == address && IsUsable(row.physical.bytes, row.physical.length)) {
            return row.physical.bytes;
        }
    }
    return std::nullopt;
}

std::optional<Ipv4Bytes> ArpAddressOf(const std::vector<ArpRow>& rows, const MacBytes& mac,
                                      const LocalIpv4Address& lan, const Ipv4Bytes& except) {
    const std::uint32_t mask = ToHost(lan.mask);
    for (const ArpRow& row : rows) {
        const Ipv4Bytes address = ArpRowAddress(row);
        if (address == except || row.physical.length != 6 || row.physical.bytes != mac) continue;
        if ((ToHost(address) & mask) == (ToHost(lan.address) & mask)) return address;
    }
    return std::nullopt;
}
