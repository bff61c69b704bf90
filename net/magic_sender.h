#pragma once
// Broadcasting the magic packet, written over a small socket interface so that the
// order of the calls, their arguments and every failure path can be checked natively
// with a fake. The Winsock implementation lives in magic_sender-win32.cpp.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
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

/// One IPv4 address of a local adapter and its subnet mask, bytes in network order.
struct LocalIpv4Address {
    std::array<std::uint8_t, 4> address;
    std::array<std::uint8_t, 4> mask;
};

/// The directed broadcast of `local`'s LAN (address OR NOT mask) at `port`. Nothing
/// for an address with no LAN of its own to broadcast to: 0.0.0.0 (how an adapter
/// without an address shows), loopback (127.0.0.0/8), a /31 or /32 mask (no broadcast
/// address) and a /0 mask (the limited broadcast, which goes out anyway).
std::optional<WireEndpoint> DirectedBroadcastEndpoint(const LocalIpv4Address& local, int port);

/// One open IPv4 UDP socket. Destroying the object closes the socket, so it is
/// closed on every path out of the code that holds it.
class DatagramSocket {
public:
    virtual ~DatagramSocket() = default;
    /// Allows sending to a broadcast address (SO_BROADCAST set to a 4-byte 1).
    virtual bool EnableBroadcast() = 0;
    /// Binds the socket to `address` with a port of the system's choice.
    virtual bool BindTo(const std::array<std::uint8_t, 4>& address) = 0;
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
/// once to 255.255.255.255 at `port` through an unbound socket from `sockets`; then,
/// because the limited broadcast leaves through one adapter only, once more to the
/// directed broadcast of every address in `locals` that has one, each from a socket
/// bound to that address. Returns true when at least one datagram was handed to the
/// network; false when the MAC text is too short to hold six bytes or no datagram went
/// out. A failure (opening, enabling broadcast, binding, sending) costs only its own
/// datagram. Nothing is retried or received, and no socket outlives the call.
bool SendMagicPacket(DatagramSockets& sockets, std::string_view mac, int port, std::string_view password,
                     const std::vector<LocalIpv4Address>& locals);
