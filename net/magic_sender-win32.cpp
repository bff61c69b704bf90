#include "net/magic_sender-win32.h"

#include <cstdint>
#include <vector>

#include "net/magic_packet.h"
#include "net/magic_sender.h"
#include "net/socket-win32.h"

bool SendMagicPacket(std::string mac, int port, std::string password) {
    const std::vector<std::uint8_t> packet = BuildMagicPacket(mac, password);
    if (packet.empty()) return false;

    const UniqueSocket udp(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!udp) return false;
    // Winsock takes a BOOL here: a 4-byte integer, not a single byte.
    const BOOL on = TRUE;
    static_assert(sizeof on == 4, "SO_BROADCAST takes a 4-byte value");
    if (setsockopt(udp.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) ==
        SOCKET_ERROR) {
        return false;
    }
    const WireEndpoint to = LimitedBroadcastEndpoint(port);
    const sockaddr_in addr = ToSockaddr(to.address, to.port);
    const int length = static_cast<int>(packet.size());
    const int sent = sendto(udp.get(), reinterpret_cast<const char*>(packet.data()), length, 0,
                            reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    // A datagram goes whole or not at all; a short count would still not be the packet.
    return sent == length;
}
