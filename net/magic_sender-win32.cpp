#include "net/magic_sender-win32.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "net/adapter_list-win32.h"
#include "net/magic_packet.h"
#include "net/magic_sender.h"
#include "net/socket-win32.h"

#include <ws2tcpip.h>

namespace {

// A UDP socket with SO_BROADCAST, bound to `from` when there is one; none when a step fails.
UniqueSocket OpenSource(const std::optional<Ipv4Bytes>& from) {
    UniqueSocket udp(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!udp) return udp;
    // Winsock takes a BOOL here: a 4-byte integer, not a single byte.
    const BOOL on = TRUE;
    static_assert(sizeof on == 4, "SO_BROADCAST takes a 4-byte value");
    if (setsockopt(udp.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) ==
        SOCKET_ERROR) {
        return UniqueSocket();
    }
    // Non-blocking: a datagram that waits for its next hop's ARP answer holds the send
    // buffer until the kernel gives up on it (about 3 s). A kept socket whose buffer
    // such datagrams have filled says WSAEWOULDBLOCK, and the datagram goes from a new
    // socket instead of waiting.
    u_long nonblocking = 1;
    if (ioctlsocket(udp.get(), FIONBIO, &nonblocking) == SOCKET_ERROR) return UniqueSocket();
    if (from) {
        // Port 0: the system picks a free source port.
        const sockaddr_in local = ToSockaddr(*from, {0, 0});
        if (bind(udp.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == SOCKET_ERROR) {
            return UniqueSocket();
        }
    }
    return udp;
}

// True when all of `packet` was handed to the network.
bool SendTo(const UniqueSocket& udp, const WireEndpoint& to, const std::vector<std::uint8_t>& packet) {
    const sockaddr_in addr = ToSockaddr(to.address, to.port);
    const int length = static_cast<int>(packet.size());
    const int sent = sendto(udp.get(), reinterpret_cast<const char*>(packet.data()), length, 0,
                            reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    // A datagram goes whole or not at all; a short count would still not be the packet.
    return sent == length;
}

}  // namespace

bool MagicPacketSockets::SendAlong(const MagicPacketRoute& route, const std::vector<std::uint8_t>& packet) {
    auto kept = sockets_.begin();
    while (kept != sockets_.end() && kept->from != route.from) ++kept;
    if (kept != sockets_.end()) {
        if (SendTo(kept->socket, route.to, packet)) return true;
        sockets_.erase(kept);
    }
    UniqueSocket udp = OpenSource(route.from);
    if (!udp || !SendTo(udp, route.to, packet)) return false;
    sockets_.push_back(Source{route.from, std::move(udp)});
    return true;
}

bool SendMagicPacket(std::string mac, int port, std::string password) {
    return SendMagicPacket(std::move(mac), port, std::move(password), ReadLocalIpv4Addresses());
}

bool SendMagicPacket(std::string mac, int port, std::string password, const std::vector<LocalIpv4Address>& locals,
                     const std::optional<Ipv4Bytes>& target, const std::vector<WireEndpoint>& also_to) {
    MagicPacketSockets sockets;
    return SendMagicPacket(sockets, std::move(mac), port, std::move(password), locals, target, also_to);
}

bool SendMagicPacket(MagicPacketSockets& sockets, std::string mac, int port, std::string password,
                     const std::vector<LocalIpv4Address>& locals, const std::optional<Ipv4Bytes>& target,
                     const std::vector<WireEndpoint>& also_to) {
    const std::vector<std::uint8_t> packet = BuildMagicPacket(mac, password);
    if (packet.empty()) return false;

    bool sent = false;
    for (const MagicPacketRoute& route : MagicPacketRoutes(locals, port, target, also_to)) {
        sent = sockets.SendAlong(route, packet) || sent;
    }
    return sent;
}

std::optional<Ipv4Bytes> ResolveIpv4Host(const std::string& name) {
    if (name.empty()) return std::nullopt;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0 || list == nullptr) return std::nullopt;
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> found(list, freeaddrinfo);
    std::optional<Ipv4Bytes> address;
    for (const addrinfo* entry = found.get(); entry != nullptr && !address; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addrlen < sizeof(sockaddr_in)) continue;
        sockaddr_in in{};
        std::memcpy(&in, entry->ai_addr, sizeof in);
        Ipv4Bytes bytes;
        std::memcpy(bytes.data(), &in.sin_addr, bytes.size());
        address = bytes;
    }
    return address;
}
