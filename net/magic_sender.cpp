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

bool SendMagicPacket(DatagramSockets& sockets, std::string_view mac, int port,
                     std::string_view password) {
    const std::vector<std::uint8_t> packet = BuildMagicPacket(mac, password);
    if (packet.empty()) return false;

    const std::unique_ptr<DatagramSocket> socket = sockets.OpenUdp();
    if (!socket) return false;
    if (!socket->EnableBroadcast()) return false;
    return socket->SendTo(LimitedBroadcastEndpoint(port), packet);
}
