#include "net/magic_sender.h"

#include "net/magic_packet.h"

bool operator==(const WireEndpoint& a, const WireEndpoint& b) {
    return a.address == b.address && a.port == b.port;
}

WireEndpoint LimitedBroadcastEndpoint(int port) {
    // Only the low 16 bits count; the conversion to unsigned is modular.
    const auto p = static_cast<std::uint16_t>(port);
    return WireEndpoint{{0xFF, 0xFF, 0xFF, 0xFF},
                        {static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p & 0xFF)}};
}

namespace {

std::uint32_t HostOrder(const std::array<std::uint8_t, 4>& bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 | std::uint32_t{bytes[2]} << 8 | bytes[3];
}

}  // namespace

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

namespace {

// One datagram from a socket of its own, bound to `from` when given; true when it went out.
bool SendOnce(DatagramSockets& sockets, const std::array<std::uint8_t, 4>* from, const WireEndpoint& to,
              const std::vector<std::uint8_t>& packet) {
    const std::unique_ptr<DatagramSocket> socket = sockets.OpenUdp();
    if (!socket || !socket->EnableBroadcast()) return false;
    if (from && !socket->BindTo(*from)) return false;
    return socket->SendTo(to, packet);
}

}  // namespace

bool SendMagicPacket(DatagramSockets& sockets, std::string_view mac, int port, std::string_view password,
                     const std::vector<LocalIpv4Address>& locals) {
    const std::vector<std::uint8_t> packet = BuildMagicPacket(mac, password);
    if (packet.empty()) return false;

    bool sent = SendOnce(sockets, nullptr, LimitedBroadcastEndpoint(port), packet);
    for (const LocalIpv4Address& local : locals) {
        if (const std::optional<WireEndpoint> to = DirectedBroadcastEndpoint(local, port)) {
            sent = SendOnce(sockets, &local.address, *to, packet) || sent;
        }
    }
    return sent;
}
