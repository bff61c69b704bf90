#pragma once
// The MAC sources of this computer: the IP helper's ARP table and ARP request, and the
// registry's address cache.
#include <string>

/// FindMacText for `ip_text` (read by ReadIpv4Octets, not validated) over the ARP table,
/// an ARP request and the address cache; empty when none knows it. Blocks while the
/// platform waits for an ARP reply.
std::string FindMacOnThisPc(const std::string& ip_text);

/// FindMacText for `ip_text` over the ARP table and the address cache only: no ARP
/// request is made, which blocks seconds for every machine that is off. For /list,
/// which may look up hundreds.
std::string FindMacWithoutRequest(const std::string& ip_text);
