#pragma once
// IP helper side of the ARP sources.
#include <cstdint>
#include <optional>
#include <vector>

#include "net/arp_sources.h"

/// GetIpNetTable in the platform's order (not sorted). A table that cannot be read,
/// or whose buffer cannot be had, gives no rows.
class IpHelperArpTable final : public ArpTableSource {
public:
    std::vector<ArpRow> ReadRows() override;
};

/// SendARP, looked up at run time in "iphlpapi.dll"; the library is freed again
/// before the call returns. A missing library or entry point gives no answer. Blocks
/// while the platform waits for a reply.
class IpHelperArpRequest final : public ArpRequestSource {
public:
    std::optional<HardwareAddress> Request(std::uint32_t target) override;
};
