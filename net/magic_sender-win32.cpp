#include "net/magic_sender-win32.h"

#include <cstring>

#include "net/adapter_list-win32.h"

sockaddr_in ToSockaddr(const WireEndpoint& to) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    static_assert(sizeof addr.sin_addr == sizeof to.address, "IPv4 address is 4 bytes");
    static_assert(sizeof addr.sin_port == sizeof to.port, "port is 2 bytes");
    std::memcpy(&addr.sin_addr, to.address.data(), to.address.size());
    std::memcpy(&addr.sin_port, to.port.data(), to.port.size());
    return addr;
}

std::unique_ptr<WinsockDatagramSocket> WinsockDatagramSocket::Open() {
    UniqueSocket s(socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!s) return nullptr;
    return std::unique_ptr<WinsockDatagramSocket>(new WinsockDatagramSocket(std::move(s)));
}

bool WinsockDatagramSocket::EnableBroadcast() {
    // Winsock takes a BOOL here: a 4-byte integer, not a single byte.
    const BOOL on = TRUE;
    static_assert(sizeof on == 4, "SO_BROADCAST takes a 4-byte value");
    return setsockopt(socket_.get(), SOL_SOCKET, SO_BROADCAST,
                      reinterpret_cast<const char*>(&on), sizeof on) != SOCKET_ERROR;
}

bool WinsockDatagramSocket::BindTo(const std::array<std::uint8_t, 4>& address) {
    // Port 0: the system picks a free source port.
    const sockaddr_in addr = ToSockaddr(WireEndpoint{address, {0, 0}});
    return bind(socket_.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != SOCKET_ERROR;
}

bool WinsockDatagramSocket::SendTo(const WireEndpoint& to, const std::vector<std::uint8_t>& bytes) {
    const sockaddr_in addr = ToSockaddr(to);
    const int length = static_cast<int>(bytes.size());
    const int sent = sendto(socket_.get(), reinterpret_cast<const char*>(bytes.data()), length, 0,
                            reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    // A datagram goes whole or not at all; a short count would still not be the packet.
    return sent == length;
}

std::unique_ptr<DatagramSocket> WinsockDatagramSockets::OpenUdp() {
    return WinsockDatagramSocket::Open();
}

bool SendMagicPacket(std::string mac, int port, std::string password) {
    WinsockDatagramSockets sockets;
    return SendMagicPacket(sockets, mac, port, password, ReadLocalIpv4Addresses());
}
