#pragma once
// The two network sources of a MAC address: the local ARP table and an ARP request.
// Interfaces, so that a test can have either fail or answer on demand; the IP helper
// implementations are in arp_sources-win32.cpp.
#include <cstdint>
#include <optional>
#include <vector>

#include "addr/mac_text.h"

/// A physical address as the system reports it: its first six bytes and its length.
/// Only a length of 6 is an Ethernet MAC; a row of another kind of link (or a broken
/// one) says nothing about a MAC.
struct HardwareAddress {
    HardwareAddress() = default;
    HardwareAddress(const MacBytes& first_bytes, std::uint32_t reported_length = 6)  // NOLINT: a MAC converts
        : bytes(first_bytes), length(reported_length) {}
    MacBytes bytes{};
    std::uint32_t length = 6;
};

/// One row of the ARP table: the IPv4 address in network byte order, as inet_addr
/// gives it, and the physical address.
struct ArpRow {
    std::uint32_t address = 0;
    HardwareAddress physical;
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
    virtual std::optional<HardwareAddress> Request(std::uint32_t target) = 0;
};
