#include "app/mac_resolution-win32.h"

#include <winsock2.h>

#include <cstdint>

#include "app/mac_resolution.h"
#include "cache/registry_cache-win32.h"
#include "net/arp_sources-win32.h"

namespace {

class RegistryMacCache final : public MacCacheSource {
public:
    std::string Read(const std::string& ip_text) override { return ReadCacheValue(ip_text); }
};

}  // namespace

std::string FindMacOnThisPc(const std::string& ip_text) {
    // inet_addr cannot tell 255.255.255.255 from unreadable text: both look up the
    // broadcast address.
    const std::uint32_t target = inet_addr(ip_text.c_str());
    IpHelperArpTable table;
    IpHelperArpRequest request;
    RegistryMacCache cache;
    return FindMacText(ip_text, target, table, request, cache);
}
