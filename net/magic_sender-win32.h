#pragma once
// Winsock side of the magic packet sender. Needs WSAStartup to have succeeded.
#include <winsock2.h>

#include <memory>
#include <string>
#include <utility>

#include "net/magic_sender.h"
#include "net/socket-win32.h"

/// An IPv4 UDP socket from socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP), never bound.
class WinsockDatagramSocket final : public DatagramSocket {
public:
    /// Returns the socket, or null when socket() fails.
    static std::unique_ptr<WinsockDatagramSocket> Open();

    bool EnableBroadcast() override;
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

/// Broadcasts the magic packet for `mac` (with `password` when not empty) once to UDP
/// port `port` of 255.255.255.255. True when the datagram was handed to the network.
bool SendMagicPacket(std::string mac, int port, std::string password);
