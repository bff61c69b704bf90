#include "net/magic_sender.h"

namespace {

std::uint32_t HostOrder(const Ipv4Bytes& bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

}  // namespace

WireEndpoint LimitedBroadcastEndpoint(int port) {
    // Only the low 16 bits count; the conversion to unsigned is modular.
    const auto p = static_cast<std::uint16_t>(port);
    return WireEndpoint{{0xFF, 0xFF, 0xFF, 0xFF}, ToPortBytes(p)};
}

std::optional<WireEndpoint> DirectedBroadcastEndpoint(const LocalIpv4Address& local, int port) {
    const std::uint32_t address = HostOrder(local.address);
    const std::uint32_t hosts = ~HostOrder(local.mask);
    // Fewer than two host bits (/31, /32) leave no broadcast address; all of them (/0)
    // is the limited broadcast itself.
    if (address == 0 || local.address[0] == 127 || hosts < 3 || hosts == 0xFFFFFFFFu) return std::nullopt;
    WireEndpoint to = LimitedBroadcastEndpoint(port);
    for (std::size_t i = 0; i < 4; ++i) to.address[i] = local.address[i] | static_cast<std::uint8_t>(~local.mask[i]);
    return to;
}

std::vector<MagicPacketRoute> MagicPacketRoutes(const std::vector<LocalIpv4Address>& locals, int port) {
    std::vector<MagicPacketRoute> routes = {{std::nullopt, LimitedBroadcastEndpoint(port)}};
    for (const LocalIpv4Address& local : locals) {
        if (const std::optional<WireEndpoint> to = DirectedBroadcastEndpoint(local, port)) {
            routes.push_back({local.address, *to});
        }
    }
    return routes;
}
