#pragma once
// Finding a machine by its MAC on a LAN of this PC: which addresses a sweep asks, how
// it is paced, and what the ARP table then says. A sweep sends at most one echo request
// to each address of the LAN, so that the table learns every machine that is up; the
// engine sends them (ProbeOrder::echo_only) and the IP helper reads the table
// (arp_sources-win32.h). Some managed networks take a sweep for an intrusion: the
// caller decides whether it may run.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "addr/ip_text.h"
#include "addr/mac_text.h"
#include "net/arp_sources.h"
#include "net/magic_sender.h"  // LocalIpv4Address, HasLan, LanOf: which LAN an address is on

/// A LAN with more host addresses than this is never swept.
constexpr std::uint32_t kSweepMostAddresses = 254;

/// Every host address of `lan` (neither its network nor its broadcast address) in
/// ascending order, but `skip` and this PC's own addresses in `locals`; nothing when the
/// LAN has more than kSweepMostAddresses host addresses.
std::vector<Ipv4Bytes> SweepAddresses(const LocalIpv4Address& lan, const Ipv4Bytes& skip,
                                      const std::vector<LocalIpv4Address>& locals);

/// How a sweep is spread out: `at_once` echo requests every `step_ms`, each waiting at
/// most `attempt_ms` for its reply. 254 addresses take about 3.6 s.
struct SweepPace {
    int at_once;
    int step_ms;
    int attempt_ms;
};
constexpr SweepPace kSweepPace{8, 100, 400};

/// When the echo request to the `index`-th address of a sweep that starts at `start_ms` leaves.
std::int64_t SweepStartMs(std::size_t index, std::int64_t start_ms, const SweepPace& pace);

/// The MAC of `address`'s row: the first in table order with a six-byte unicast MAC.
std::optional<MacBytes> ArpMacOf(const std::vector<ArpRow>& rows, const Ipv4Bytes& address);

/// The address of the first row, in table order, that holds `mac` and lies on `lan`,
/// other than `except`.
std::optional<Ipv4Bytes> ArpAddressOf(const std::vector<ArpRow>& rows, const MacBytes& mac,
                                      const LocalIpv4Address& lan, const Ipv4Bytes& except);

/// The row's address as bytes in network order.
Ipv4Bytes ArpRowAddress(const ArpRow& row);
