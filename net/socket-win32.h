#pragma once
// The Winsock pieces every socket user shares: the socket owner, the start-up session
// and the socket address.
#include <winsock2.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "addr/ip_text.h"  // Ipv4Bytes
#include "common/unique_handle.h"

struct SocketTraits {
    using Type = SOCKET;
    static Type Invalid() { return INVALID_SOCKET; }
    static void Close(Type s) { closesocket(s); }
};
/// Move-only owner of a Winsock socket: closed with closesocket, INVALID_SOCKET as "none".
using UniqueSocket = UniqueHandle<SocketTraits>;

/// Winsock start-up for the life of the object. WSACleanup runs only when
/// WSAStartup succeeded, so the count of start-ups stays balanced.
class WinsockSession {
public:
    WinsockSession() noexcept {
        WSADATA data;
        started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (started_) WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

    bool started() const noexcept { return started_; }

private:
    bool started_ = false;
};

/// The socket address of an IPv4 `address` and `port`, both as bytes already in network
/// order: AF_INET, the bytes as they are, the rest zero.
inline sockaddr_in ToSockaddr(const Ipv4Bytes& address, const PortBytes& port) {
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    static_assert(sizeof addr.sin_addr == sizeof address, "IPv4 address is 4 bytes");
    static_assert(sizeof addr.sin_port == sizeof port, "port is 2 bytes");
    std::memcpy(&addr.sin_addr, address.data(), address.size());
    std::memcpy(&addr.sin_port, port.data(), port.size());
    return addr;
}
