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

bool HasLan(const LocalIpv4Address& local) {
    const std::uint32_t address = HostOrder(local.address);
    const std::uint32_t hosts = ~HostOrder(local.mask);
    return address != 0 && local.address[0] != 127 && hosts >= 3 && hosts != 0xFFFFFFFFu;
}

std::optional<LocalIpv4Address> LanOf(const Ipv4Bytes& address, const std::vector<LocalIpv4Address>& locals) {
    const std::uint32_t wanted = HostOrder(address);
    std::optional<LocalIpv4Address> lan;
    for (const LocalIpv4Address& local : locals) {
        if (!HasLan(local)) continue;
        const std::uint32_t mask = HostOrder(local.mask);
        if ((HostOrder(local.address) & mask) != (wanted & mask)) continue;
        // A mask is a run of ones from the top: the longer, the larger the number.
        if (!lan || mask > HostOrder(lan->mask)) lan = local;
    }
    return lan;
}

std::optional<WireEndpoint> DirectedBroadcastEndpoint(const LocalIpv4Address& local, int port) {
    if (!HasLan(local)) return std::nullopt;
    WireEndpoint to = LimitedBroadcastEndpoint(port);
    for (std::size_t i = 0; i < 4; ++i) to.address[i] = local.address[i] | static_cast<std::uint8_t>(~local.mask[i]);
    return to;
}

bool IsOnLocalLan(const std::vector<LocalIpv4Address>& locals, const Ipv4Bytes& target) {
    return LanOf(target, locals).has_value();
}

std::vector<WireEndpoint> OffLanEndpoints(const std::vector<LocalIpv4Address>& locals, const Ipv4Bytes& target,
                                          int port) {
    if (target[0] == 0 || target[0] == 127 || target[0] >= 224 || IsOnLocalLan(locals, target)) return {};
    WireEndpoint itself = LimitedBroadcastEndpoint(port);
    itself.address = target;
    if (target[3] == 0 || target[3] == 255) return {itself};
    WireEndpoint broadcast = itself;
    broadcast.address[3] = 255;
    return {itself, broadcast};
}

std::vector<MagicPacketRoute> MagicPacketRoutes(const std::vector<LocalIpv4Address>& locals, int port,
                                                const std::optional<Ipv4Bytes>& target,
                                                const std::vector<WireEndpoint>& also_to) {
    std::vector<MagicPacketRoute> routes = {{std::nullopt, LimitedBroadcastEndpoint(port)}};
    for (const LocalIpv4Address& local : locals) {
        if (const std::optional<WireEndpoint> to = DirectedBroadcastEndpoint(local, port)) {
            routes.push_back({local.address, *to});
        }
    }
    // A /to that names a LAN's broadcast, or the far PC itself, is sent once.
    const auto add_unbound = [&routes](const WireEndpoint& to) {
        for (const MagicPacketRoute& route : routes) {
            if (route.to.address == to.address && route.to.port == to.port) return;
        }
        routes.push_back({std::nullopt, to});
    };
    if (target) {
        for (const WireEndpoint& to : OffLanEndpoints(locals, *target, port)) add_unbound(to);
    }
    for (const WireEndpoint& to : also_to) add_unbound(to);
    return routes;
}
