#pragma once
// Winsock side of the magic packet sender. Needs WSAStartup to have succeeded.
#include <winsock2.h>

#include <memory>
#include <string>
#include <utility>

#include "net/magic_sender.h"
#include "net/unique_socket-win32.h"

/// The socket address for `to`: AF_INET, the address and port bytes as they are
/// (already in network order), the rest zero.
sockaddr_in ToSockaddr(const WireEndpoint& to);

/// An IPv4 UDP socket from socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP).
class WinsockDatagramSocket final : public DatagramSocket {
public:
    /// Returns the socket, or null when socket() fails.
    static std::unique_ptr<WinsockDatagramSocket> Open();

    bool EnableBroadcast() override;
    bool BindTo(const std::array<std::uint8_t, 4>& address) override;
    bool SendTo(const WireEndpoint& to, const std::vector<std::uint8_t>& bytes) override;

    SOCKET get() const { return socket_.get(); }

private:
    explicit WinsockDatagramSocket(UniqueSocket socket) : socket_(std::move(socket)) {}
    UniqueSocket socket_;
};

class WinsockDatagramSockets final : public DatagramSockets {
public:
    std::unique_ptr<DatagramSocket> OpenUdp() override;
};

/// Broadcasts the magic packet for `mac` (with `password` when not empty) to UDP port
/// `port` of 255.255.255.255 and of the directed broadcast of every local adapter's
/// IPv4 address. True when at least one datagram was handed to the network.
bool SendMagicPacket(std::string mac, int port, std::string password);
