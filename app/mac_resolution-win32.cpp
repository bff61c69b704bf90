#include "app/mac_resolution-win32.h"

#include <winsock2.h>

#include <cstdint>
#include <cstring>
#include <optional>

#include "addr/ip_text.h"
#include "app/mac_resolution.h"
#include "cache/registry_cache-win32.h"
#include "net/arp_sources-win32.h"

namespace {

class RegistryMacCache final : public MacCacheSource {
public:
    std::string Read(const std::string& ip_text) override { return ReadCacheValue(ip_text); }
};

class NoArpRequest final : public ArpRequestSource {
public:
    std::optional<HardwareAddress> Request(std::uint32_t) override { return std::nullopt; }
};

std::string FindMacWith(const std::string& ip_text, ArpRequestSource& request) {
    // Not inet_addr: it reads "010" as octal 8 and fails into 255.255.255.255.
    std::optional<std::uint32_t> target;
    if (const std::optional<Ipv4Bytes> octets = ReadIpv4Octets(ip_text)) {
        std::uint32_t in_network_order = 0;
        std::memcpy(&in_network_order, octets->data(), sizeof in_network_order);
        target = in_network_order;
    }
    IpHelperArpTable table;
    RegistryMacCache cache;
    return FindMacText(ip_text, target, table, request, cache);
}

}  // namespace

std::string FindMacOnThisPc(const std::string& ip_text) {
    IpHelperArpRequest request;
    return FindMacWith(ip_text, request);
}

std::string FindMacWithoutRequest(const std::string& ip_text) {
    NoArpRequest request;
    return FindMacWith(ip_text, request);
}
