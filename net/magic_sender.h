#pragma once
// Broadcasting the magic packet, written over a small socket interface so that the
// order of the calls, their arguments and every failure path can be checked natively
// with a fake. The Winsock implementation lives in magic_sender-win32.cpp.
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

/// An IPv4 destination exactly as it goes into the socket address: address and port
/// bytes in network order.
struct WireEndpoint {
    std::array<std::uint8_t, 4> address;
    std::array<std::uint8_t, 2> port;
};

bool operator==(const WireEndpoint& a, const WireEndpoint& b);

/// 255.255.255.255 at the low 16 bits of `port` (given in host order).
WireEndpoint LimitedBroadcastEndpoint(int port);

/// One open, unbound IPv4 UDP socket. Destroying the object closes the socket, so it is
/// closed on every path out of the code that holds it.
class DatagramSocket {
public:
    virtual ~DatagramSocket() = default;
    /// Allows sending to a broadcast address (SO_BROADCAST set to a 4-byte 1).
    virtual bool EnableBroadcast() = 0;
    /// Sends `bytes` as one datagram, flags 0; true when the whole datagram was handed
    /// to the network.
    virtual bool SendTo(const WireEndpoint& to, const std::vector<std::uint8_t>& bytes) = 0;
};

/// Opens datagram sockets (AF_INET, SOCK_DGRAM, IPPROTO_UDP).
class DatagramSockets {
public:
    virtual ~DatagramSockets() = default;
    /// Returns the new socket, or null when none could be made.
    virtual std::unique_ptr<DatagramSocket> OpenUdp() = 0;
};

/// Builds the magic packet for `mac` (and `password`, when not empty) and broadcasts it
/// once to 255.255.255.255 at `port` through a socket from `sockets`. Returns true when
/// the datagram was handed to the network; false when the MAC text is too short to hold
/// six bytes or when opening, enabling broadcast or sending fails. Nothing is retried
/// or received, and the socket never outlives the call.
bool SendMagicPacket(DatagramSockets& sockets, std::string_view mac, int port,
                     std::string_view password);
